#pragma once

#include <QString>

namespace velmar::launcher {

// Where the window reports its start and the installation manager the funnel
// events of finished downloads and verifications. Tools and widget tests leave
// it out; the launcher sends them.
class TFunnelEventSink
{
public:
    virtual ~TFunnelEventSink() = default;
    // sFirstFlagKey names the per-user flag that tells whether this is the
    // player's first such event.
    virtual void sendFunnelEvent(const QString& sStep, const QString& sFirstFlagKey) = 0;
};

} // namespace velmar::launcher
