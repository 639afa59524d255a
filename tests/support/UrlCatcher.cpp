#include "tests/support/UrlCatcher.h"

#include <QDesktopServices>

namespace quorlin::test {

UrlCatcher::UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open"); }

UrlCatcher::~UrlCatcher() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

}  // namespace quorlin::test
