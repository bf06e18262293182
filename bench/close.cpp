// The close of the main window with everything changed (language, view
// switches, placement, recent list, options) beside writing the same settings
// file once through one TRegistryBatch, taking turns in one run. Goal: the
// close within 1.2 times the single batch write; the ratio is printed.
#include "MainForm.h"
#include "HistList.h"
#include "Registry.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
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

// Every value of the store written again in one batch, each one changed.
void writeOnceInABatch(const std::vector<StoredValue> &values, int round)
{
    zk::TRegistryBatch batch;
    zk::TRegistry w;
    for (const StoredValue &v : values) {
        w.OpenKey(QStringLiteral("\\") + v.key, true);
        if (v.type == zk::RegDataType::String)
            w.WriteString(v.name, v.text + QString::number(round % 2));
        else if (v.type == zk::RegDataType::Integer)
            w.WriteInteger(v.name, v.number ^ (round % 2));
        else
            w.WriteBinaryData(v.name, v.bytes + char(round % 2));
    }
    batch.Commit();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The two take turns in each round, so a disk that is slow for a while is
// slow for both; the medians are compared.
void BM_CloseBesideOneBatchWrite(benchmark::State &state)
{
    std::vector<double> closeMs, batchMs;
    std::vector<StoredValue> values;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<zk::TMainForm>(QStringList());
        changeEverything(*form, ++round);
        QElapsedTimer clock;
        clock.start();
        form->FormClose();
        closeMs.push_back(clock.nsecsElapsed() / 1e6);
        form.reset();
        if (values.empty()) {
            zk::TRegistry reg;
            collect(reg, QString(), values);
        }
        clock.restart();
        writeOnceInABatch(values, round);
        batchMs.push_back(clock.nsecsElapsed() / 1e6);
        state.ResumeTiming();
    }
    const double close = median(closeMs), batch = median(batchMs);
    state.counters["close_ms"] = close;
    state.counters["batch_ms"] = batch;
    state.counters["values"] = double(values.size());
    state.counters["ratio"] = batch > 0 ? close / batch : 0;
    std::printf("close %.3f ms, one batch write of the same %zu values %.3f ms: ratio %.2f (goal: at most 1.2)\n",
                close, values.size(), batch, batch > 0 ? close / batch : 0.0);
}
BENCHMARK(BM_CloseBesideOneBatchWrite)->Iterations(400)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    // The window's socket is made anew for every round; on another file
    // system its folder does not burden the settings file's flush.
    QTemporaryDir runtime(QStringLiteral("/dev/shm/zk-bench-XXXXXX"));
    if (runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
