#pragma once

#include <QString>

#include <stdexcept>

namespace velmar::launcher {

// A file built from individually sound chunks that does not hash to what its
// document says: the documents do not belong together, and no retry helps.
class TFileHashMismatch : public std::runtime_error
{
public:
    explicit TFileHashMismatch(const QString& sLocalFile)
        : std::runtime_error(QStringLiteral("The file \"%1\" was built from its chunks but does not match its hash: "
                                            "the package's documents do not belong together.")
                                 .arg(sLocalFile)
                                 .toStdString())
    {
    }
};

} // namespace velmar::launcher
