#pragma once

#include "processorinfo.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace systemsurvey {

// The four registers that one leaf of the processor identification instruction fills.
struct TCpuidRegisters
{
    quint32 m_nEax = 0;
    quint32 m_nEbx = 0;
    quint32 m_nEcx = 0;
    quint32 m_nEdx = 0;
};

// Maker, brand text and instruction-set flags as the processor reports them about
// itself. The instruction is passed in, so that any processor can be described.
class TProcessorIdentification
{
public:
    using TCpuidFunction = std::function<TCpuidRegisters(quint32 nLeaf)>;

    // Fills manufacturer, brand name, 64-bit, SSE and SSE2 of the result; counts and
    // clock speed stay 0. Leaves above the highest one the processor announces are
    // never asked for: their answers are undefined, so their flags read as false.
    static TProcessorInfo identify(const TCpuidFunction& fnCpuid);

    // The instruction on the processor this runs on; all zeros where there is none,
    // which identify() turns into "Unknown Manufacturer" and no features.
    static TCpuidRegisters executeCpuid(quint32 nLeaf);

    // Maps the 12-character vendor text of leaf 0 to the maker's name; any text
    // outside the table gives "Unknown Manufacturer".
    static QString manufacturerForVendor(const QByteArray& aVendorText);
};

} // namespace systemsurvey
