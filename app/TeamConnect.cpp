#include "app/TeamConnect.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QTimer>

#include "panes/QtText.h"
#include "platform/QtSocketWatch.h"
#include "resources/Strings.h"

namespace {
// A quick server is never announced; a slow one is, with a way out.
constexpr int kShowAfterMs = 500;
}  // namespace

TeamConnection ConnectToTeamDatabase(QWidget* parent, const std::string& conninfo, int timeoutMs) {
    TeamConnection out;
    out.name = ConnectionDisplayName(conninfo);
    CQtSocketWatch watch(timeoutMs);
    CPgConnector connector;
    bool done = false;
    connector.Start(
        conninfo, watch,
        [&](CPgConnection connection, std::string error) {
            out.connection = std::move(connection);
            out.error = std::move(error);
            done = true;
        },
        SessionTarget::ReadWriteElseStandby);  // a viewer may read from a standby
    if (done) return out;

    QProgressDialog progress(KQText(IDS_TEAM_CONNECTING).arg(Q(out.name)), KQText(IDS_CANCEL), 0, 0,
                             parent);
    progress.setWindowTitle(KQText(IDS_APP_TITLE));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(kShowAfterMs);
    progress.setValue(0);  // starts the wait before it shows
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&] {
        out.cancelled = true;
        watch.Cancel();
    });
    while (!done) {
        // Until the modal window is up, the user's keys and clicks wait: no command may start
        // while the database is about to change.
        QCoreApplication::processEvents(
            QEventLoop::WaitForMoreEvents |
            (progress.isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
    }
    return out;
}

CTeamReconnect::CTeamReconnect() : m_alive(std::make_shared<bool>(true)) {}

CTeamReconnect::~CTeamReconnect() {
    *m_alive = false;
    if (m_watch && m_busy) m_watch->Cancel();
}

void CTeamReconnect::Start(const std::string& conninfo, int timeoutMs, Done done) {
    m_busy = true;
    m_watch = std::make_unique<CQtSocketWatch>(timeoutMs);
    m_connector = std::make_unique<CPgConnector>();
    const std::string name = ConnectionDisplayName(conninfo);
    std::weak_ptr<bool> alive = m_alive;
    m_connector->Start(conninfo, *m_watch,
                       [this, alive, name, done](CPgConnection connection, std::string error) {
                           // Handed on from the event loop: the connector that calls here may
                           // be let go by whoever is told.
                           auto out = std::make_shared<TeamConnection>();
                           out->connection = std::move(connection);
                           out->error = std::move(error);
                           out->name = name;
                           QTimer::singleShot(0, [this, alive, out, done] {
                               if (alive.expired() || !*alive.lock()) return;
                               m_busy = false;
                               done(std::move(*out));
                           });
                       });
}
