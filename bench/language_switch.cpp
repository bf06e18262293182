// Switching the language of a large form: every switch restores what the
// previous language set and applies the new section. Goal: under 5 ms for a
// form of 300 controls. The real main window switches beside it, taking
// turns in one run (goal: at most five times the 300-control form).
#include "BenchKit.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {


// 300 controls of four kinds, German as defined; two sections that caption
// and hint every control, plus the text keys a real section carries.
struct BigForm {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QStringList script;

    explicit BigForm(int controls)
    {
        auto *layout = new QVBoxLayout(form.get());
        for (int i = 0; i < controls; ++i) {
            QWidget *w;
            switch (i % 4) {
            case 0: w = new QLabel(QStringLiteral("Beschriftung %1").arg(i)); break;
            case 1: w = new QPushButton(QStringLiteral("Knopf %1").arg(i)); break;
            case 2: w = new QCheckBox(QStringLiteral("Auswahl %1").arg(i)); break;
            default: w = new QGroupBox(QStringLiteral("Gruppe %1").arg(i)); break;
            }
            w->setObjectName(QStringLiteral("Control%1").arg(i));
            layout->addWidget(w);
        }
        for (const char *section : {"german", "english"}) {
            const bool en = section[0] == 'e';
            script << QStringLiteral("[%1]").arg(QLatin1String(section));
            for (int i = 0; i < 200; ++i)
                script << QStringLiteral("showmsg_text_%1=%2 %1").arg(i).arg(en ? "Message" : "Meldung");
            if (!en)
                continue; // German is what the form defines
            for (int i = 0; i < controls; ++i) {
                script << QStringLiteral("Control%1.Caption=Caption %1").arg(i);
                script << QStringLiteral("Control%1.Hint=Short %1|Long hint %1").arg(i);
            }
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The main window reads and writes settings: keep them in a throw-away place.
    QTemporaryDir settings;
    setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", settings.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);

    // The program's main window with the language file that ships, German
    // and English in turn through its own language items, beside the
    // 300-control form switching between its two sections.
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + QStringLiteral("/Templates"));
    QFile::copy(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"),
                dir.path() + QStringLiteral("/Templates/Languages.lng"));
    zk::SetProgramDirOverride(dir.path());
    zk::TMainForm window;
    QAction *items[2] = {window.Item(QStringLiteral("GermanMenuItem")), window.Item(QStringLiteral("EnglishMenuItem"))};
    BigForm f(300);
    int windowIndex = 0, formIndex = 0;
    const zkbench::Result r = zkbench::Turns(
        [&] {
            windowIndex ^= 1;
            window.GermanMenuItemClick(items[windowIndex]);
        },
        [&] {
            formIndex ^= 1;
            zk::SetFormLanguage(f.form.get(), f.script, formIndex);
        },
        zkbench::Rounds(31));
    zkbench::Print("main window switch vs 300-control form", r, 5.0);
    std::printf("  300-control form: %.3f ms a switch (goal <= 5 ms) %s\n", r.peer, r.peer <= 5 ? "ok" : "MISSED");

    BigForm small(4);
    zk::SetFormLanguage(small.form.get(), small.script, 1);
    zk::TMultiLanguage *ml = zk::FormMultiLanguage(small.form.get());
    const QString key = QStringLiteral("showmsg_text_150");
    const double t0 = zkbench::nowMs();
    int found = 0;
    for (int i = 0; i < 100000; ++i)
        found += ml->GetText(key).isEmpty() ? 0 : 1;
    std::printf("  GetText: %.1f ns a call (%d found; reported, no goal)\n", (zkbench::nowMs() - t0) * 10, found);
    zk::SetProgramDirOverride(QString());
    return 0;
}
