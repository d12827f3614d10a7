#pragma once

#include <cstdint>
#include <string>

// Draws the JPEGs the simulator serves: alarm snapshots and stream frames.
// QImage painting is safe off the main thread once the QGuiApplication exists.
namespace Pictures {

std::string snapshot(const std::string& cameraName, const std::string& alarmType, int64_t alarmTimeMs);
// A 320x180 frame with the channel name and the on-screen time, so a still shows moving video.
std::string frame(const std::string& channelName, int64_t onScreenMs);

} // namespace Pictures
