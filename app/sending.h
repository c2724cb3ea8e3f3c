// Sends the station's record to the site's server, on a thread of its own:
// at start, after each counting or lot kept, and again after a pause while
// the server does not take them. The window never waits on the network.
#pragma once

#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <string>

#include "server.h"

namespace pesolane {

class Form1;

class Sending : public QObject {
public:
    Sending(Form1& form, std::string recordPath, std::string server);
    ~Sending() override;  // lets the transaction under way end

    void request();  // something new was kept

private:
    void finished(const SendOutcome& outcome);

    Form1& form_;
    const std::string recordPath_, server_;
    QThread thread_;
    QObject* worker_;
    QTimer retry_;
    std::atomic<bool> stop_{false};
    bool busy_ = false, again_ = false;
    SendingState state_;
};

}  // namespace pesolane
