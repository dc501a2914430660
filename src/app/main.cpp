// The window program: shows `Form1` centred on the screen and runs until it
// is closed. It takes no arguments; everything is chosen in the window.
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/form1.h"
#include "engine/format/large_buffers.h"
#include "platform/memory_pages.h"
#include "platform/qt_platform.h"

int main(int argc, char* argv[]) {
    codekiln::setLargeBufferAdvice(codekiln::adviseLargePages);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("codekiln"));
    // The installed desktop entry's name, so that Wayland finds its icon too.
    QApplication::setDesktopFileName(QStringLiteral("org.codekiln.codekiln"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/codekiln-256.png")));

    // Qt's own words (a text box's menu, standard buttons) in Chinese, as
    // everything else in the window; English where the translation is missing.
    QTranslator qtChinese;
    if (qtChinese.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtChinese);

    codekiln::QtPlatform platform;
    codekiln::Form1 form1(platform, platform, platform);
    form1.centreOnScreen();
    form1.show();
    return app.exec();
}
