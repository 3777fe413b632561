#pragma once

#include "FSCore/ServerConnection.h"

#include <QDialog>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// "Connect to Server…" of one window: the address sheet, then the mount on a
// work queue of its own while the window stays usable. A share that wants an
// account asks from the mounting thread; the password sheet answers it from
// the main thread, and that thread never waits for the mount.
class ServerConnector : public QObject
{
    Q_OBJECT

public:
    explicit ServerConnector(QWidget *window, QObject *parent = nullptr);
    // Every question still open is answered with a cancel, so no mount waits
    // for a sheet that is gone.
    ~ServerConnector() override;

    // Shows the address sheet; "Connect" with an address that is not blank
    // mounts it.
    void connectToServer();
    void performServerConnect(const QString &address);
    // Whether a mount runs.
    bool isConnecting() const { return m_connections > 0; }

    // The mount succeeded: its roots, the one to show first.
    std::function<void(const QList<QUrl> &roots)> onConnected;
    // It failed with this message. A cancel in the password sheet is no failure.
    std::function<void(const QString &message)> onFailure;

Q_SIGNALS:
    // A mount ended, whatever its outcome, after onConnected or onFailure.
    void connectFinished();

private:
    // What the mounting thread and the main thread share for one mount, and
    // for one question of it.
    struct Questions;
    class PendingAnswer;

    // Shows the password sheet, whose answer goes to `answer`.
    void ask(const ServerConnection::CredentialsRequest &request, const std::shared_ptr<PendingAnswer> &answer);

    QPointer<QWidget> m_window;
    QList<std::shared_ptr<Questions>> m_open;
    int m_connections = 0;
};

// A window-modal sheet in the manner of an alert: an icon, a bold message, an
// informative text, what the caller adds, and the buttons at the bottom
// right, the first one the default.
class ServerSheet : public QDialog
{
    Q_OBJECT

public:
    ServerSheet(const QString &message, const QString &informativeText, QWidget *window);

    QPushButton *connectButton() const { return m_connect; }
    QPushButton *cancelButton() const { return m_cancel; }

protected:
    // The rows between the texts and the buttons.
    QGridLayout *form() const { return m_form; }

private:
    QGridLayout *m_form = nullptr;
    QPushButton *m_connect = nullptr;
    QPushButton *m_cancel = nullptr;
};

class ServerConnectSheet : public ServerSheet
{
    Q_OBJECT

public:
    static constexpr QSize fieldSize{260, 22};

    explicit ServerConnectSheet(QWidget *window);

    QLineEdit *addressField() const { return m_address; }
    // What was typed, without white space and line breaks at either end.
    QString address() const;

private:
    QLineEdit *m_address = nullptr;
};

class ServerPasswordSheet : public ServerSheet
{
    Q_OBJECT

public:
    ServerPasswordSheet(const ServerConnection::CredentialsRequest &request, QWidget *window);

    QLineEdit *userField() const { return m_user; }
    QLineEdit *domainField() const { return m_domain; }
    QLineEdit *passwordField() const { return m_password; }
    QCheckBox *rememberBox() const { return m_remember; }
    ServerConnection::Credentials credentials() const;

private:
    QLineEdit *m_user = nullptr;
    QLineEdit *m_domain = nullptr;
    QLineEdit *m_password = nullptr;
    QCheckBox *m_remember = nullptr;
};
