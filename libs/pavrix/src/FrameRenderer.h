// Paints a playback's frames into the host's window, found by its native id
// among the Qt widgets of this process. Frames are decoded on the caller's
// thread; the widget is created and updated on the GUI thread only, by queued
// calls that never make the caller wait.
#pragma once

#include <memory>
#include <string>

namespace pavrix {

class FrameRenderer
{
public:
    explicit FrameRenderer(unsigned long long windowId);
    ~FrameRenderer(); // removes the surface (later, on the GUI thread)

    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    // Any thread. Frames are coalesced: the GUI thread gets the newest one.
    void present(const std::string& jpeg);
    // False once it is known there is nothing to paint into.
    bool active() const;

    struct Target;

private:
    std::shared_ptr<Target> m_target;
};

} // namespace pavrix
