// The close of the main window with everything changed (language, view
// switches, placement, recent list, options) beside writing the same settings
// file once through one TRegistryBatch, taking turns in one run (BenchKit).
// Goal: the close within 1.2 times the single batch write.
#include "BenchKit.h"
#include "HistList.h"
#include "MainForm.h"
#include "Registry.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
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

    std::unique_ptr<zk::TMainForm> form;
    int round = 0;
    // A fresh window with everything changed before every timed call.
    auto prepare = [&] {
        form.reset();
        form = std::make_unique<zk::TMainForm>(QStringList());
        changeEverything(*form, ++round);
    };
    prepare();
    form->FormClose();
    std::vector<StoredValue> values;
    zk::TRegistry reg;
    collect(reg, QString(), values);
    std::printf("%zu values in the settings file\n", values.size());
    const zkbench::Result r = zkbench::Turns([&] { form->FormClose(); },
                                             [&] { writeOnceInABatch(values, round); }, zkbench::Rounds(300),
                                             prepare);
    zkbench::Print("close / one batch write of the same file", r, 1.2);
    form.reset();
    return 0;
}
