// Drives the module's window against the simulator the way an operator pages
// through the all-messages list, and times each page: from the arrival of the
// list reply to every row showing its picture.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class CListCtrl;
class HostProcess;
class MessageClient;
class ReplyArrivalHook;
class SimulatorProcess;
class StallMeter;

class ListDriver : public QObject
{
    Q_OBJECT
public:
    struct Flip
    {
        bool ok = false;
        QString error;
        double showMs = 0.0;                // reply arrival to all rows with their picture
        double maxStallMs = 0.0;            // longest event-loop gap in the same stretch
        double builtMs = 0.0;               // reply arrival to the rows handed to the list (parsed, built)
        double insertedMs = 0.0;            // reply arrival to the rows first seen in the list
        double allInMs = 0.0;               // reply arrival to the last row in the list (the rows built)
        double maxStallAfterInsertMs = 0.0; // longest gap once the rows are in (pictures coming)
    };

    ListDriver(SimulatorProcess& sim, HostProcess& host, const QString& cfgPath, QObject* parent = nullptr);
    ~ListDriver() override;

    // Starts the window and opens the all-messages tab on page 1; false with
    // error set when page 1 does not show.
    bool open(QString* error);
    // Moves the all-messages list to the page (next, previous, first or last
    // button, whichever gets there in one press) and waits for it to show.
    Flip flipTo(int page, int timeoutMs);
    int currentPage() const;
    int pageCount() const;
    int rowsPerPage() const { return m_rowsPerPage; }
    MessageClient* window() const { return m_client.get(); }
    CListCtrl* list() const { return m_list; }

private:
    enum class State
    {
        Idle,
        Waiting,
        Arrived,
        Done
    };

    void onArrived(double atMs);
    void poll();
    bool pageShown(QString* error) const;
    bool pressButtonFor(int page);
    bool waitFor(State state, int timeoutMs);

    SimulatorProcess& m_sim;
    HostProcess& m_host;
    QString m_cfgPath;
    std::unique_ptr<MessageClient> m_client;
    std::unique_ptr<ReplyArrivalHook> m_hook;
    std::unique_ptr<StallMeter> m_stall;
    CListCtrl* m_list = nullptr;
    int m_rowsPerPage = 30;
    State m_state = State::Idle;
    bool m_listUpdated = false;
    int m_oldFirstId = -1; // first message of the page shown before the flip
    double m_arrivalMs = 0.0;
    Flip m_flip;
};
