// Switching the language of a large form: every switch restores what the
// previous language set and applies the new section. Goal: under 5 ms for a
// form of 300 controls.
#include "MultiLanguage.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>

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

void BM_SwitchFormOf300Controls(benchmark::State &state)
{
    BigForm f(300);
    int index = 0;
    for (auto _ : state) {
        index ^= 1;
        zk::SetFormLanguage(f.form.get(), f.script, index);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SwitchFormOf300Controls)->Unit(benchmark::kMillisecond);

void BM_GetText(benchmark::State &state)
{
    BigForm f(4);
    zk::SetFormLanguage(f.form.get(), f.script, 1);
    zk::TMultiLanguage *ml = zk::FormMultiLanguage(f.form.get());
    const QString key = QStringLiteral("showmsg_text_150");
    for (auto _ : state)
        benchmark::DoNotOptimize(ml->GetText(key));
}
BENCHMARK(BM_GetText);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
