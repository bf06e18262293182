#pragma once
// Forms built in code name each control as they make it:
// `Edit = Named(new QLineEdit(this), "Edit");`
#include <QObject>
#include <QString>

namespace zk {

// object, with name as its object name.
template <class W>
W *Named(W *object, const char *name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace zk
