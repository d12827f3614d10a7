// The configuration file and launch string that start the window against the simulator and a host.
#pragma once

#include "HostProcess.h"
#include "SimulatorProcess.h"

#include <QDir>
#include <QFile>
#include <QString>

// Writes <dir>/cfg.xml naming the simulator's CA (plus strExtra) and returns its path.
inline QString WriteModuleConfig(const QString& strDir, const SimulatorProcess& sim,
                                 const QString& strExtra = {})
{
    const QString strPath = QDir(strDir).filePath("cfg.xml");
    QFile file(strPath);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(
            QString("<Configure><ca_file>%1</ca_file>%2</Configure>").arg(sim.caFile(), strExtra).toUtf8());
    }
    return strPath;
}

// Host handle, platform tokens and address, configuration; with bVideo the video library's keys.
inline QString ModuleLaunchString(const HostProcess& host, const SimulatorProcess& sim, const QString& strCfg,
                                  bool bVideo = false)
{
    QString strLaunch = QString("ParentWnd:%1;Token:%2;RefreshToken:%3;ServerUrl:%4;CfgPath:%5;AesKey:%6")
                            .arg(host.handle())
                            .arg(sim.token(), sim.refreshToken(), sim.baseUrl(), strCfg, sim.aesKey());
    if (bVideo) {
        strLaunch += QString(";Appkey:%1;AccessToken:%2;TrustAccessToken:%3")
                         .arg(sim.appKey(), sim.accessToken(), sim.trustAccessToken());
    }
    return strLaunch;
}
