#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <vector>

namespace shared {

// One news item or tip for the hint area.
struct THint
{
    QString m_sTitle;
    // HTML, with the link style put in front when not empty.
    QString m_sRichText;
    QString m_sImageUrl;
    QString m_sCategory;
    QString m_sUrl;
    // Invalid when the document gives none or an unreadable one.
    QDateTime m_oDisplayAfter;
    QDateTime m_oDisplayUntil;
    // Whether the document has the key "emergency" at all, and its value.
    bool m_bHasEmergency = false;
    bool m_bEmergency = false;
};

} // namespace shared

Q_DECLARE_METATYPE(shared::THint)
Q_DECLARE_METATYPE(std::vector<shared::THint>)
