// The hands of an operator inside the real program, for a test that starts
// the window as a child: nothing outside an offscreen window can click it.
// QT_QPA_GENERIC_PLUGINS=rw7300operator, with this plugin's folder in
// QT_PLUGIN_PATH, has Qt load it at start-up; once the window shows, it
// presses 「計算」 and then 「送信」, as someone at the window would.

#include <QApplication>
#include <QGenericPlugin>
#include <QPushButton>
#include <QTimer>

namespace {

class Operator : public QObject {
public:
    Operator()
    {
        m_look.callOnTimeout(this, &Operator::look);
        m_look.start(50);
    }

private:
    void look()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *calculate = window->findChild<QPushButton *>(QStringLiteral("Command1"));
            auto *send = window->findChild<QPushButton *>(QStringLiteral("Command2"));
            if (!calculate || !send || !send->isVisible())
                continue;
            m_look.stop();
            calculate->click();
            send->click();
            return;
        }
    }

    QTimer m_look;
};

} // namespace

class OperatorPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "operatorplugin.json")

public:
    QObject *create(const QString &, const QString &) override { return new Operator; }
};

#include "operatorplugin.moc"
