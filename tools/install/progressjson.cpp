#include "progressjson.h"

#include <QJsonDocument>

#include <cstdio>

TProgressJson::TProgressJson()
{
    m_oClock.start();
}

void TProgressJson::update(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal)
{
    if (sStep != m_sStep) {
        finish();
        m_sStep = sStep;
        m_oRate.reset();
        m_nLastPrint = -1;
    }
    m_nDone = nDone;
    m_nTotal = nTotal;
    const qint64 nNow = m_oClock.elapsed();
    m_oRate.addSample(nNow, nDone);
    if (m_nLastPrint < 0 || nNow - m_nLastPrint >= 1000) {
        m_nLastPrint = nNow;
        print();
    }
}

void TProgressJson::finish()
{
    if (!m_sStep.isEmpty())
        print();
    m_sStep.clear();
}

void TProgressJson::outcome(const QString& sOutcome, const QString& sReason, const QString& sVersion)
{
    finish();
    QJsonObject oLine{{QStringLiteral("outcome"), sOutcome}, {QStringLiteral("reason"), sReason}};
    if (!sVersion.isEmpty())
        oLine.insert(QStringLiteral("version"), sVersion);
    write(oLine);
}

void TProgressJson::print()
{
    const double fSecondsLeft = m_oRate.secondsLeft(m_nTotal);
    write(QJsonObject{{QStringLiteral("step"), m_sStep},
                      {QStringLiteral("bytesDone"), qint64(m_nDone)},
                      {QStringLiteral("bytesTotal"), qint64(m_nTotal)},
                      {QStringLiteral("bytesPerSecond"), qint64(m_oRate.bytesPerSecond())},
                      {QStringLiteral("secondsLeft"), m_nDone >= m_nTotal ? QJsonValue(0)
                                                      : fSecondsLeft < 0  ? QJsonValue(QJsonValue::Null)
                                                                          : QJsonValue(qint64(fSecondsLeft + 0.5))}});
}

void TProgressJson::write(const QJsonObject& oObject)
{
    const QByteArray aLine = QJsonDocument(oObject).toJson(QJsonDocument::Compact);
    std::fprintf(stdout, "%s\n", aLine.constData());
    std::fflush(stdout);
}
