#pragma once
// ISC_USER and ISC_PASSWORD as a test sets them, and as they were once it ends.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

class IscEnvironment {
public:
    // "": unset.
    IscEnvironment(const QString &user, const QString &password)
    {
        for (const char *name : {"ISC_USER", "ISC_PASSWORD"})
            saved_.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        set("ISC_USER", user);
        set("ISC_PASSWORD", password);
    }
    ~IscEnvironment()
    {
        for (const Saved &s : saved_)
            s.set ? qputenv(s.name, s.value) : qunsetenv(s.name);
    }
    IscEnvironment(const IscEnvironment &) = delete;
    IscEnvironment &operator=(const IscEnvironment &) = delete;

private:
    static void set(const char *name, const QString &value)
    {
        value.isEmpty() ? qunsetenv(name) : qputenv(name, value.toUtf8());
    }
    struct Saved {
        const char *name;
        bool set;
        QByteArray value;
    };
    QList<Saved> saved_;
};
