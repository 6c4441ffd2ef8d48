#include "QtFixture.h"

#include "ui/Look.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdlib>

namespace uitest {

QApplication& Qt() {
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        auto* qt = new QApplication(argc, argv);
        ui::ApplyLook(*qt);
        return qt;
    }();
    return *application;
}

bool RunQtUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(5000);
    QTimer wake; // so that a wait for events sees the deadline
    wake.start(50);
    for (int round = 0; round < 100000 && !done() && !deadline.hasExpired(); ++round)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

} // namespace uitest
