// The structures inside the arrays of the panel's bus interface, for the
// service and for Qt clients (the tests): a(is), a(ss), a(uu).
#pragma once

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QList>
#include <QMetaType>
#include <QString>

struct BusBridge {
    int number = -1;
    QString text;
};
struct BusFeature {
    QString name, value;
};
struct BusRegister {
    uint address = 0, value = 0;
};
Q_DECLARE_METATYPE(BusBridge)
Q_DECLARE_METATYPE(BusFeature)
Q_DECLARE_METATYPE(BusRegister)

inline QDBusArgument& operator<<(QDBusArgument& a, const BusBridge& b) {
    a.beginStructure();
    a << b.number << b.text;
    a.endStructure();
    return a;
}
inline const QDBusArgument& operator>>(const QDBusArgument& a, BusBridge& b) {
    a.beginStructure();
    a >> b.number >> b.text;
    a.endStructure();
    return a;
}
inline QDBusArgument& operator<<(QDBusArgument& a, const BusFeature& f) {
    a.beginStructure();
    a << f.name << f.value;
    a.endStructure();
    return a;
}
inline const QDBusArgument& operator>>(const QDBusArgument& a, BusFeature& f) {
    a.beginStructure();
    a >> f.name >> f.value;
    a.endStructure();
    return a;
}
inline QDBusArgument& operator<<(QDBusArgument& a, const BusRegister& r) {
    a.beginStructure();
    a << r.address << r.value;
    a.endStructure();
    return a;
}
inline const QDBusArgument& operator>>(const QDBusArgument& a, BusRegister& r) {
    a.beginStructure();
    a >> r.address >> r.value;
    a.endStructure();
    return a;
}

// Registers the types with Qt's bus layer (once per program; repeating is harmless).
inline void RegisterPanelBusTypes() {
    static const bool done = [] {
        qDBusRegisterMetaType<BusBridge>();
        qDBusRegisterMetaType<QList<BusBridge>>();
        qDBusRegisterMetaType<BusFeature>();
        qDBusRegisterMetaType<QList<BusFeature>>();
        qDBusRegisterMetaType<BusRegister>();
        qDBusRegisterMetaType<QList<BusRegister>>();
        return true;
    }();
    (void)done;
}
