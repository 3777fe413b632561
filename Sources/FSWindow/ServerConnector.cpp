#include "ServerConnector.h"

#include "FSCore/MainThread.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/ShareMounter.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QThreadPool>
#include <QVBoxLayout>

#include <condition_variable>
#include <mutex>
#include <optional>

using ServerConnection::Credentials;
using ServerConnection::CredentialsRequest;

// One question to the user, answered once: by the sheet, or with a cancel
// when the sheet or the window goes away first.
class ServerConnector::PendingAnswer
{
public:
    void give(const std::optional<Credentials> &credentials)
    {
        const std::lock_guard lock(m_mutex);
        if (m_answer)
            return;
        m_answer = credentials;
        m_answered.notify_all();
    }

    std::optional<Credentials> wait()
    {
        std::unique_lock lock(m_mutex);
        m_answered.wait(lock, [this] { return m_answer.has_value(); });
        return *m_answer;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::optional<std::optional<Credentials>> m_answer;
};

namespace {

struct Outcome
{
    QList<QUrl> roots;
    QString failure;
    bool isConnected = false;
};

} // namespace

struct ServerConnector::Questions
{
    // Read on the main thread only.
    QPointer<ServerConnector> connector;

    // False once the connector is gone: a question asked then is a cancel.
    bool open(const std::shared_ptr<PendingAnswer> &answer)
    {
        const std::lock_guard lock(mutex);
        current = answer;
        return !isClosed;
    }

    void close()
    {
        const std::lock_guard lock(mutex);
        isClosed = true;
        if (current)
            current->give(std::nullopt);
    }

    std::mutex mutex;
    bool isClosed = false;
    std::shared_ptr<PendingAnswer> current;
};

ServerConnector::ServerConnector(QWidget *window, QObject *parent) : QObject(parent), m_window(window) {}

ServerConnector::~ServerConnector()
{
    for (const std::shared_ptr<Questions> &questions : std::as_const(m_open))
        questions->close();
}

void ServerConnector::connectToServer()
{
    if (!m_window)
        return;
    auto *sheet = new ServerConnectSheet(m_window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &QDialog::accepted, this, [this, sheet] {
        const QString address = sheet->address();
        if (!address.isEmpty())
            performServerConnect(address);
    });
    sheet->open();
}

void ServerConnector::performServerConnect(const QString &address)
{
    auto questions = std::make_shared<Questions>();
    questions->connector = this;
    m_open.append(questions);
    ++m_connections;
    // Runs on the mounting thread, which waits for the answer; the sheet is
    // made and answered on the main thread, which never waits for it.
    const ServerConnection::CredentialsProvider provider = [questions](const CredentialsRequest &request) {
        auto answer = std::make_shared<PendingAnswer>();
        if (!questions->open(answer))
            return std::optional<Credentials>();
        MainThread::post([questions, answer, request] {
            if (questions->connector)
                questions->connector->ask(request, answer);
            else
                answer->give(std::nullopt);
        });
        return answer->wait();
    };
    WorkQueues::mounts()->start([questions, provider, address] {
        Outcome outcome;
        try {
            outcome.roots = ServerConnection::connect(address, provider);
            outcome.isConnected = true;
        } catch (const PlatformError &error) {
            // The user cancelled: there is nothing to tell.
            if (error.code() != ShareMounter::cancelledErrorCode)
                outcome.failure = error.localizedDescription();
        } catch (const OperationError &error) {
            outcome.failure = error.localizedDescription();
        }
        MainThread::post([questions, outcome] {
            ServerConnector *connector = questions->connector;
            if (!connector)
                return;
            connector->m_open.removeOne(questions);
            --connector->m_connections;
            if (outcome.isConnected && connector->onConnected)
                connector->onConnected(outcome.roots);
            else if (!outcome.failure.isEmpty() && connector->onFailure)
                connector->onFailure(outcome.failure);
            Q_EMIT connector->connectFinished();
        });
    });
}

void ServerConnector::ask(const CredentialsRequest &request, const std::shared_ptr<PendingAnswer> &answer)
{
    if (!m_window) {
        answer->give(std::nullopt);
        return;
    }
    auto *sheet = new ServerPasswordSheet(request, m_window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &QDialog::finished, sheet, [sheet, answer](int result) {
        answer->give(result == QDialog::Accepted ? std::optional(sheet->credentials()) : std::nullopt);
    });
    // Closed with its window, it answers nothing: a cancel.
    connect(sheet, &QObject::destroyed, [answer] { answer->give(std::nullopt); });
    sheet->open();
}

ServerSheet::ServerSheet(const QString &message, const QString &informativeText, QWidget *window)
    : QDialog(window)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(message);

    auto *icon = new QLabel(this);
    const QIcon appIcon = QApplication::windowIcon();
    icon->setPixmap((appIcon.isNull() ? style()->standardIcon(QStyle::SP_MessageBoxQuestion) : appIcon).pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto *title = new QLabel(message, this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setTextFormat(Qt::PlainText);
    auto *informative = new QLabel(informativeText, this);
    informative->setTextFormat(Qt::PlainText);
    informative->setWordWrap(true);

    m_form = new QGridLayout;
    m_form->setHorizontalSpacing(8);
    m_form->setVerticalSpacing(6);

    m_cancel = new QPushButton(tr("Cancel"), this);
    m_connect = new QPushButton(tr("Connect"), this);
    m_connect->setDefault(true);
    connect(m_connect, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_connect);

    auto *text = new QVBoxLayout;
    text->setSpacing(8);
    text->addWidget(title);
    text->addWidget(informative);
    text->addLayout(m_form);
    text->addSpacing(8);
    text->addLayout(buttons);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(16);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(text, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

ServerConnectSheet::ServerConnectSheet(QWidget *window)
    : ServerSheet(tr("Connect to Server"), tr("Enter the server address."), window)
{
    m_address = new QLineEdit(this);
    m_address->setFixedSize(fieldSize);
    // An address, the same in every language.
    m_address->setPlaceholderText(QStringLiteral("smb://server/share"));
    form()->addWidget(m_address, 0, 0);
    m_address->setFocus();
}

QString ServerConnectSheet::address() const
{
    return m_address->text().trimmed();
}

ServerPasswordSheet::ServerPasswordSheet(const CredentialsRequest &request, QWidget *window)
    : ServerSheet(tr("Enter your name and password for the server “%1”.").arg(request.server),
                  request.attempt > 1 ? tr("The name or password was not accepted. Try again.")
                                      : tr("The share “%1” wants an account.").arg(request.share),
                  window)
{
    const auto addField = [this](const QString &label, QLineEdit *field) {
        const int row = form()->rowCount();
        auto *caption = new QLabel(label, this);
        caption->setBuddy(field);
        form()->addWidget(caption, row, 0, Qt::AlignRight);
        field->setFixedWidth(ServerConnectSheet::fieldSize.width() - 60);
        form()->addWidget(field, row, 1);
    };
    m_user = new QLineEdit(request.defaultUser, this);
    m_domain = new QLineEdit(request.defaultDomain, this);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    addField(tr("Name:"), m_user);
    addField(tr("Domain:"), m_domain);
    addField(tr("Password:"), m_password);
    // What the server does not ask for cannot be given.
    m_user->setEnabled(request.needsUser);
    m_domain->setEnabled(request.needsDomain);
    m_password->setEnabled(request.needsPassword);
    m_remember = new QCheckBox(tr("Remember this password"), this);
    m_remember->setEnabled(request.canRemember);
    form()->addWidget(m_remember, form()->rowCount(), 1);
    (request.needsUser && m_user->text().isEmpty() ? m_user : m_password)->setFocus();
}

Credentials ServerPasswordSheet::credentials() const
{
    return {m_user->text(), m_domain->text(), m_password->text(), m_remember->isChecked()};
}
