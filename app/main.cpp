// quorlin: the desktop program. Optional argument: one NC program to open.

#include <QApplication>

#include "app/InfoOptions.h"
#include "profile/Profile.h"
#include "app/Prompts.h"
#include "app/QuorlinApp.h"
#include "res/AppIcon.h"

int main(int argc, char* argv[]) {
    if (const auto exitCode = quorlin::AnswerInfoOption(argc, argv)) return *exitCode;
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(quorlin::kProfileOrganization));
    QApplication::setApplicationName(QString::fromLatin1(quorlin::kProfileApplication));
    QApplication::setDesktopFileName(QStringLiteral("quorlin"));
    QApplication::setWindowIcon(quorlin::res::AppIcon());

    quorlin::WidgetPrompts prompts;
    quorlin::CQuorlinApp theApp(prompts);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    if (!theApp.InitInstance(arguments)) return theApp.ExitCode();
    return QApplication::exec();
}
