#pragma once

// "Check for updates...": downloads uilv.bin from the home page, compares
// its version with this build's and offers the installer's address.

#include <functional>

#include <QByteArray>
#include <QString>

class QWidget;

struct DownloadResult {
    bool ok = false;
    QByteArray bytes; // at most the first 4096 bytes of the answer
    QString error;
};

using Downloader = std::function<DownloadResult(const QString &url)>;

// Downloads through the network module, loaded on first use; bounded to
// 4096 bytes and 10 seconds.
Downloader ModuleDownloader();

// The whole check, as the menu item runs it. connectToInternet asks the
// system for a connection first; its outcome does not stop the check.
void CheckForUpdates(QWidget *owner, const Downloader &download,
                     const std::function<void()> &connectToInternet);
