// The close of the main window with everything changed (language, view
// switches, recent list, options) beside writing the same settings file once
// through one TRegistryBatch, taking turns in one run. Goal: the close within
// 1.2 times the single batch write; the ratio is printed at the end.
#include "MainForm.h"
#include "HistList.h"
#include "Registry.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

namespace {

// One value of the store, kept to be written again.
struct StoredValue
{
    QString key, name;
    zk::RegDataType type;
    QString text;
    std::int32_t number = 0;
    QByteArray bytes;
};

void collect(zk::TRegistry &reg, const QString &key, std::vector<StoredValue> &out)
{
    if (!reg.OpenKeyReadOnly(QStringLiteral("\\") + key))
        return;
    for (const QString &name : reg.GetValueNames()) {
        StoredValue v{key, name, reg.GetDataType(name), {}, 0, {}};
        if (v.type == zk::RegDataType::String)
            v.text = reg.ReadString(name);
        else if (v.type == zk::RegDataType::Integer)
            v.number = reg.ReadInteger(name);
        else
            v.bytes = reg.ReadBinaryData(name);
        out.push_back(v);
    }
    for (const QString &sub : reg.GetKeyNames())
        collect(reg, key.isEmpty() ? sub : key + u'\\' + sub, out);
}

// Changes everything a close writes.
void changeEverything(zk::TMainForm &form, int round)
{
    const char *const items[2] = {"GermanMenuItem", "EnglishMenuItem"};
    form.findChild<QAction *>(QString::fromLatin1(items[round % 2]))->trigger();
    form.Options.EndDlg = false;
    form.Options.Stretch = round % 2;
    form.Options.Trans = round % 2;
    form.Options.ScanDelay = 240 + round;
    form.Options.OutDir = QStringLiteral("/tmp/round%1").arg(round);
    form.RecentList->AddHistory(QStringLiteral("/tmp/picture%1.png").arg(round));
    form.resize(600 + round % 7, 400 + round % 5);
}

void BM_CloseWithEverythingChanged(benchmark::State &state)
{
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<zk::TMainForm>(QStringList());
        changeEverything(*form, ++round);
        state.ResumeTiming();
        form->FormClose();
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CloseWithEverythingChanged)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OneBatchWriteOfTheSameFile(benchmark::State &state)
{
    std::vector<StoredValue> values;
    zk::TRegistry reg;
    collect(reg, QString(), values);
    int round = 0;
    for (auto _ : state) {
        ++round;
        zk::TRegistryBatch batch;
        zk::TRegistry w;
        for (const StoredValue &v : values) {
            w.OpenKey(QStringLiteral("\\") + v.key, true);
            // Every value differs from the file, as after the close.
            if (v.type == zk::RegDataType::String)
                w.WriteString(v.name, v.text + QString::number(round % 2));
            else if (v.type == zk::RegDataType::Integer)
                w.WriteInteger(v.name, v.number ^ (round % 2));
            else
                w.WriteBinaryData(v.name, v.bytes + char(round % 2));
        }
        batch.Commit();
    }
    state.counters["values"] = double(values.size());
}
BENCHMARK(BM_OneBatchWriteOfTheSameFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.iterations > 0)
                perIteration[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> perIteration;
};

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double close = 0, batch = 0;
    for (const auto &[name, time] : reporter.perIteration) {
        if (name.rfind("BM_CloseWithEverythingChanged", 0) == 0)
            close = time;
        else if (name.rfind("BM_OneBatchWriteOfTheSameFile", 0) == 0)
            batch = time;
    }
    if (close > 0 && batch > 0)
        std::printf("close / one batch write: %.2f (goal: at most 1.2)\n", close / batch);
    benchmark::Shutdown();
    return 0;
}
