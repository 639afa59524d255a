#pragma once
// Stands in for the desktop's web browser: while it lives, the https
// addresses given to QDesktopServices::openUrl are collected, not opened.

#include <QList>
#include <QObject>
#include <QUrl>

namespace quorlin::test {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher();
    ~UrlCatcher() override;
    UrlCatcher(const UrlCatcher&) = delete;
    UrlCatcher& operator=(const UrlCatcher&) = delete;

    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened << url; }
};

}  // namespace quorlin::test
