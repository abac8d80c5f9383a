#pragma once

#include "graphicsadapterinfo.h"
#include "monitorinfo.h"
#include "operatingsysteminfo.h"
#include "processorinfo.h"

#include <QList>
#include <QString>
#include <QtGlobal>

namespace systemsurvey {

// Gathers the survey's values from the toolkit, the processor and the operating
// system. Nothing here throws: a value that cannot be had is left neutral (empty
// text, 0, false, empty list). The only platform-bound piece of the survey.
class TSystemSurveyValueRetriever
{
public:
    // sSystemRoot is the folder that stands for "/" when kernel and platform files
    // are read; tests hand in a prepared tree.
    explicit TSystemSurveyValueRetriever(QString sSystemRoot = QStringLiteral("/"));
    virtual ~TSystemSurveyValueRetriever();
    TSystemSurveyValueRetriever(const TSystemSurveyValueRetriever&) = delete;
    TSystemSurveyValueRetriever& operator=(const TSystemSurveyValueRetriever&) = delete;

    // One record per screen of the running GUI application, in the toolkit's order;
    // empty without one.
    virtual QList<TMonitorInfo> retrieveMonitors() const;
    // Identification through the processor itself, counts and clock speed from the
    // two operations below.
    virtual TProcessorInfo retrieveProcessor() const;
    virtual TOperatingSystemInfo retrieveOperatingSystem() const;
    // Total physical memory in bytes; 0 when unknown.
    virtual quint64 retrieveMainMemorySize() const;
    // Counts over the online processors; a count that cannot be had stays 0.
    virtual void retrieveProcessorCounts(quint64& nNumaNodes, quint64& nPhysicalPackages, quint64& nCores,
                                         quint64& nLogicalProcessors) const;
    // The highest rated clock of the processors in MHz; 0 when unknown.
    virtual double retrieveClockSpeed() const;
    virtual QList<TGraphicsAdapterInfo> retrieveGraphicsAdapters() const;

protected:
    // sPath (absolute, e.g. "/proc/meminfo") below the system root.
    QString systemPath(const QString& sPath) const;

private:
    QString m_sSystemRoot;
};

} // namespace systemsurvey
