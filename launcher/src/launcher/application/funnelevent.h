#pragma once

#include <QByteArray>
#include <QString>

namespace velmar::launcher {

// The player's device identifier: created once per user (kept under "FunnelUuid"
// in the per-user settings, and written to "corvaneShared.json" when created).
QString funnelDeviceIdentifier();

// Reads the per-user first-time flag of a step and clears it: true exactly once per user.
bool takeFunnelFirstFlag(const QString& sFirstFlagKey);

QByteArray funnelEventDocument(const QString& sStep, bool bFirst, const QString& sDeviceIdentifier,
                               const QString& sAccountGroupKey);

} // namespace velmar::launcher
