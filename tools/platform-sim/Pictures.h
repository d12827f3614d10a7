#pragma once

#include <cstdint>
#include <string>

// Draws the JPEGs the simulator serves: alarm snapshots and stream frames.
// QImage painting is safe off the main thread once the QGuiApplication exists.
namespace Pictures {

std::string snapshot(const std::string& cameraName, const std::string& alarmType, int64_t alarmTimeMs);
// A frame (320x180 unless asked otherwise) with the channel name and the
// on-screen time, so a still shows moving video.
std::string frame(const std::string& channelName, int64_t onScreenMs, int width = 320, int height = 180);

} // namespace Pictures
