#pragma once

#include <QString>

namespace velmar::launcher {

class TPackage;

// Where the installation manager reports the funnel events of finished
// downloads and verifications. Tools leave it out; the launcher sends them.
class TFunnelEventSink
{
public:
    virtual ~TFunnelEventSink() = default;
    // sFirstFlagKey names the per-user flag that tells whether this is the
    // player's first such event.
    virtual void sendFunnelEvent(const TPackage& oPackage, const QString& sStep, const QString& sFirstFlagKey) = 0;
};

} // namespace velmar::launcher
