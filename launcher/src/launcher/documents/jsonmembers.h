#pragma once

#include <QtGlobal>

#include <simdjson.h>

#include <array>
#include <string_view>

namespace velmar::launcher {

// The members of one JSON object that a reader asks for by name, found in one
// pass over the object. Of several members with the same name the last counts,
// as it always has in the launcher's documents. A value that is no object has
// none of them.
template <size_t N>
class TJsonMembers
{
    static_assert(N <= 32, "presence is held in 32 bits");

public:
    TJsonMembers(const simdjson::dom::element& oValue, const std::array<std::string_view, N>& aNames)
    {
        simdjson::dom::object oObject;
        if (oValue.get(oObject) != simdjson::SUCCESS)
            return;
        for (const simdjson::dom::key_value_pair oMember : oObject) {
            for (size_t n = 0; n < N; ++n) {
                if (oMember.key == aNames[n]) {
                    m_aValues[n] = oMember.value;
                    m_nPresent |= 1u << n;
                    break;
                }
            }
        }
    }

    // The value of the name at nIndex of the names given, or null when absent.
    const simdjson::dom::element* value(size_t nIndex) const
    {
        return (m_nPresent >> nIndex) & 1u ? &m_aValues[nIndex] : nullptr;
    }

private:
    std::array<simdjson::dom::element, N> m_aValues;
    quint32 m_nPresent = 0;
};

} // namespace velmar::launcher
