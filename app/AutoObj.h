// Automation on the session bus: the running instance owns org.orcharddesk.Quillon97 and
// exports /KQAutoObj (ShowTab) and /Document (DocRunTests). Both accept and do nothing.
#pragma once

#include <QObject>
#include <QString>

class CAutoObj : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orcharddesk.Quillon97.KQAutoObj")
public:
    using QObject::QObject;
    int CallCount() const { return m_calls; }
public slots:
    void ShowTab(short tab);

private:
    int m_calls = 0;
};

class CDocAutomation : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orcharddesk.Quillon97.Document")
public:
    using QObject::QObject;
    int CallCount() const { return m_calls; }
public slots:
    void DocRunTests();

private:
    int m_calls = 0;
};

// Registers the service and both objects; false (and nothing registered) without a bus or
// when the name is taken.
class CAutomationServer {
public:
    static constexpr const char* kService = "org.orcharddesk.Quillon97";
    CAutomationServer();
    ~CAutomationServer();
    bool Register();
    CAutoObj& AutoObj() { return m_autoObj; }
    CDocAutomation& Document() { return m_document; }

private:
    CAutoObj m_autoObj;
    CDocAutomation m_document;
    bool m_registered = false;
};
