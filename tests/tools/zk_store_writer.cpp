// A second process for the store tests. "write KEY PREFIX COUNT" writes
// COUNT values named PREFIX0, PREFIX1, ... into KEY of the current user's
// store, one write each, so a test can kill it at any moment or run two at
// once. "dump KEY" prints every value of KEY as read by this fresh process:
// name, type and data, the texts as UTF-8 hex, one value a line.
#include "Registry.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

// The value a writer stores under index i; the tests compute the same.
void writeValue(zk::TRegistry &reg, const QString &prefix, int i)
{
    const QString name = prefix + QString::number(i);
    switch (i % 3) {
    case 0:
        reg.WriteString(name, QStringLiteral("Wert %1 äöü \"%2\"\\").arg(i).arg(prefix));
        break;
    case 1:
        reg.WriteInteger(name, i * 7 - 1000);
        break;
    default: {
        QByteArray b;
        for (int k = 0; k < 16; ++k)
            b.append(char((i * 31 + k) & 0xff));
        reg.WriteBinaryData(name, b);
        break;
    }
    }
}

const char *typeName(zk::RegDataType t)
{
    switch (t) {
    case zk::RegDataType::String: return "string";
    case zk::RegDataType::ExpandString: return "expand";
    case zk::RegDataType::Integer: return "integer";
    case zk::RegDataType::Binary: return "binary";
    case zk::RegDataType::Unknown: break;
    }
    return "unknown";
}

int dump(const QString &key)
{
    zk::TRegistry reg;
    if (!reg.OpenKeyReadOnly(key)) {
        std::fprintf(stderr, "no such key\n");
        return 1;
    }
    for (const QString &name : reg.GetValueNames()) {
        const zk::RegDataType t = reg.GetDataType(name);
        QByteArray data;
        if (t == zk::RegDataType::String || t == zk::RegDataType::ExpandString)
            data = reg.ReadString(name).toUtf8();
        else if (t == zk::RegDataType::Integer)
            data = QByteArray::number(reg.ReadInteger(name));
        else
            data = reg.ReadBinaryData(name);
        std::printf("%s\t%s\t%s\n", name.toUtf8().toHex().constData(), typeName(t), data.toHex().constData());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        if (argc == 3 && QByteArray(argv[1]) == "dump")
            return dump(QString::fromUtf8(argv[2]));
        if (argc == 5 && QByteArray(argv[1]) == "write") {
            zk::TRegistry reg;
            if (!reg.OpenKey(QString::fromUtf8(argv[2]), true))
                return 1;
            const QString prefix = QString::fromUtf8(argv[3]);
            const int count = std::atoi(argv[4]);
            for (int i = 0; i < count; ++i)
                writeValue(reg, prefix, i);
            return 0;
        }
    } catch (const zk::ERegistryException &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: zk_store_writer write KEY PREFIX COUNT | dump KEY\n");
    return 2;
}
