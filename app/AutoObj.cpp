#include "app/AutoObj.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

// Accepted and ignored: the automation interface has no behaviour of its own.
void CAutoObj::ShowTab(short) { ++m_calls; }
void CDocAutomation::DocRunTests() { ++m_calls; }

CAutomationServer::CAutomationServer() = default;

CAutomationServer::~CAutomationServer() {
    if (!m_registered) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QStringLiteral("/KQAutoObj"));
    bus.unregisterObject(QStringLiteral("/Document"));
    bus.unregisterService(QLatin1String(kService));
}

bool CAutomationServer::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerService(QLatin1String(kService))) return false;
    if (!bus.registerObject(QStringLiteral("/KQAutoObj"), &m_autoObj,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerObject(QStringLiteral("/Document"), &m_document,
                            QDBusConnection::ExportAllSlots)) {
        bus.unregisterObject(QStringLiteral("/KQAutoObj"));
        bus.unregisterService(QLatin1String(kService));
        return false;
    }
    m_registered = true;
    return true;
}
