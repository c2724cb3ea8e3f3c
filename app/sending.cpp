#include "sending.h"

#include "form1.h"

namespace pesolane {

Sending::Sending(Form1& form, std::string recordPath, std::string server)
    : QObject(&form), form_(form), recordPath_(std::move(recordPath)), server_(std::move(server)), worker_(new QObject) {
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &Sending::request);
    // After each result the record has kept: its hook runs before this one.
    form.onResults([this](const StepOutcome& o) {
        if ((o.counting || o.lot) && !state_.failing) request();
    });
    request();  // what an earlier session left waiting
}

Sending::~Sending() {
    stop_ = true;
    thread_.quit();
    thread_.wait();
}

void Sending::request() {
    if (busy_) {
        again_ = true;
        return;
    }
    busy_ = true;
    retry_.stop();
    QMetaObject::invokeMethod(worker_, [this] {
        const SendOutcome outcome = sendWaiting(recordPath_, server_, &stop_);
        QMetaObject::invokeMethod(this, [this, outcome] { finished(outcome); }, Qt::QueuedConnection);
    });
}

void Sending::finished(const SendOutcome& outcome) {
    busy_ = false;
    const AfterSend after = afterSend(state_, outcome);
    if (!after.tell.empty()) form_.tell(QString::fromStdString(after.tell));
    if (after.retryMs >= 0) {
        again_ = false;
        retry_.start(after.retryMs);
    } else if (again_) {
        again_ = false;
        request();
    }
}

}  // namespace pesolane
