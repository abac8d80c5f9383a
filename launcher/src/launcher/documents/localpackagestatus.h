#pragma once

namespace velmar::launcher {

enum ELocalPackageStatus : int
{
    Unknown = 0,
    NotInstalled = 1,
    PartiallyInstalled = 2,
    UpdateAvailable = 3,
    UpToDate = 4,
};

} // namespace velmar::launcher
