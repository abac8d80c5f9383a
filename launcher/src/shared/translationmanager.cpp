#include "translationmanager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTranslator>

namespace shared {

TTranslationManager::TTranslationManager() = default;

TTranslationManager::~TTranslationManager()
{
    remove();
}

bool TTranslationManager::installFrom(const QString& sLauncherFolder)
{
    remove();
    auto pTranslator = std::make_unique<QTranslator>();
    if (!pTranslator->load(QStringLiteral("launcher.en"), sLauncherFolder)) {
        qWarning() << "No translation launcher.en in" << sLauncherFolder;
        return false;
    }
    if (!QCoreApplication::installTranslator(pTranslator.get()))
        return false;
    m_pTranslator = std::move(pTranslator);
    return true;
}

QString TTranslationManager::text(const char* pIdentifier, const QString& sFallback)
{
    const QString sText = qtTrId(pIdentifier);
    return sText == QLatin1String(pIdentifier) ? sFallback : sText;
}

void TTranslationManager::remove()
{
    if (m_pTranslator) {
        QCoreApplication::removeTranslator(m_pTranslator.get());
        m_pTranslator.reset();
    }
}

} // namespace shared
