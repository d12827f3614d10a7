// What the code that constructs the window does for the host: the host's
// commands become the window's operations, on the window and its overlays
// together, and the signals meant for the host go back over the host link.
#pragma once

#include "native/HostCommand.h"
#include "native/HostSignal.h"

#include <QObject>

class MessageClient;

class HostBridge : public QObject
{
    Q_OBJECT
public:
    explicit HostBridge(MessageClient* client);

    void apply(const HostCommand& command);

private:
    void forward(const HostSignal& signal);
    void showWindow();

    MessageClient* m_client;
};
