#pragma once

#include "import/inventaire.h"
#include "platform/automation.h"
#include "platform/dialogs.h"
#include "platform/executable.h"

#include <QFont>
#include <QMainWindow>

#include <memory>

class ImageList;
class ProgressBar;
class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class TextLabel;
class Toolbar;
class WindowImportView;

// The one window of the program. Its controls stand at fixed places in a client area of
// 4845 x 3720 twips (15 twips to the pixel) below the menu bar; nothing moves or resizes.
class frmmain : public QMainWindow
{
    Q_OBJECT

public:
    // What the window reaches outside itself; the program passes the real ones, tests their own.
    struct Environment
    {
        Dialogs &dialogs;
        AutomationFactory &automation;
        Inventaire::DatabaseOpener openDatabase;
        Executable executable;
    };

    explicit frmmain(Environment environment, QWidget *parent = nullptr);
    ~frmmain() override;

    // The program's font, set on the application before the window is made. The fixed places
    // were drawn for a narrow 8-point dialog font; at this size and width every caption and
    // status text fits its control.
    static QFont applicationFont();

private Q_SLOTS:
    // The window's event handlers; no other control event has one. Form_Load runs once the
    // controls stand, before the window is first shown. A click on a menu item reaches its
    // handler with the tick as it was: the handler alone sets it (setChecked). A toolbar
    // handler gets the clicked button's index, counted from 1.
    void Form_Load();
    void CmdDefaut_Click();
    void mnukelmar_Click();
    void mnudovane_Click();
    void TlbFichier_ButtonClick(int index);
    void TblGestion_ButtonClick(int index);
    void TlbPrpp_ButtonClick(int index);

private:
    void createControls(QWidget *client);
    void createMenu();
    void chooseEdition(qint16 edition, QAction *clicked, QAction *other);
    void Valider();
    void Fermer();

    // The controls, in the order of their creation: a later one lies above an earlier one.
    // Each carries its field's name as object name.
    QPushButton *CmdDefaut = nullptr;
    ProgressBar *ProgressBar1 = nullptr;
    QLineEdit *Txtsociete = nullptr;
    QLineEdit *Txtdepot = nullptr;
    ImageList *ImageList1 = nullptr;
    Toolbar *TlbFichier = nullptr;
    ImageList *ImgBT = nullptr;
    Toolbar *TlbPrpp = nullptr;
    Toolbar *TblGestion = nullptr;
    TextLabel *lblGestion = nullptr;
    TextLabel *Label4 = nullptr;
    TextLabel *LblMessages = nullptr;
    TextLabel *Label3 = nullptr;
    TextLabel *Label2 = nullptr;
    TextLabel *Label1 = nullptr;
    TextLabel *lblchemin = nullptr;

    QMenu *mnuparam = nullptr;
    QAction *mnukelmar = nullptr;
    QAction *mnudovane = nullptr;

    // The window's fields.
    QString Fichier;    // the chosen count file; empty until one is chosen
    QString Societe;    // company code handed to the import
    QString Depot;      // depot code handed to the import
    QString FicParam;   // the settings file
    qint16 Gestion = 0; // edition: 1 Kelmar, 2 Dovane

    Environment m_environment;
    std::unique_ptr<WindowImportView> m_importView;
    // The import and what it keeps between runs: the server `OLETIR`, the management
    // database `ConnectScen` and `bErr`.
    std::unique_ptr<Inventaire> m_import;
};
