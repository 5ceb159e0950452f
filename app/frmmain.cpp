#include "app/frmmain.h"

#include "app/accessiblelabel.h"
#include "app/controls.h"
#include "app/windowimportview.h"
#include "settings/parametres.h"

#include <QAction>
#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include <limits>

namespace {

// A place in the client area given in twips, 15 to the pixel.
constexpr QRect twips(int left, int top, int width, int height)
{
    constexpr int k = 15;
    return {left / k, top / k, width / k, height / k};
}

const QColor kSilver(192, 192, 192);

QLineEdit *createTextBox(const QString &name, const QRect &geometry, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setMaxLength(std::numeric_limits<int>::max());
    box->setGeometry(geometry);
    return box;
}

TextLabel *createLabel(const QString &name, const QString &text, TextLabel::Kind kind, const QRect &geometry,
                       QWidget *parent)
{
    auto *label = new TextLabel(name, text, kind, parent);
    label->setGeometry(geometry);
    return label;
}

} // namespace

QFont frmmain::applicationFont()
{
    QFont font(QStringLiteral("DejaVu Sans"), 8);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

frmmain::frmmain(Environment environment, QWidget *parent) : QMainWindow(parent), m_environment(std::move(environment))
{
    Q_INIT_RESOURCE(resources);
    installAccessibleLabels();
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("Inventaire TIRVANO"));
    setWindowIcon(QIcon(QStringLiteral(":/images/tirvano.xpm")));

    createMenu();
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(0, 0, 4845, 3720).size());
    setCentralWidget(client);
    createControls(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_importView = std::make_unique<WindowImportView>(*lblGestion, *lblchemin, *LblMessages, *ProgressBar1);
    m_import = std::make_unique<Inventaire>(m_environment.automation, m_environment.openDatabase, m_environment.dialogs,
                                            *m_importView, m_environment.executable);
    Form_Load();
}

frmmain::~frmmain() = default;

void frmmain::createMenu()
{
    mnuparam = menuBar()->addMenu(QStringLiteral("&Parametres"));
    mnuparam->setObjectName(QStringLiteral("mnuparam"));
    mnukelmar = mnuparam->addAction(QStringLiteral("Gestion &Kelmar"));
    mnukelmar->setObjectName(QStringLiteral("mnukelmar"));
    mnudovane = mnuparam->addAction(QStringLiteral("Gestion &Dovane"));
    mnudovane->setObjectName(QStringLiteral("mnudovane"));
    for (QAction *item : {mnukelmar, mnudovane})
        item->setCheckable(true);
    connectMenuClick(mnukelmar, this, [this] { mnukelmar_Click(); });
    connectMenuClick(mnudovane, this, [this] { mnudovane_Click(); });
}

void frmmain::createControls(QWidget *client)
{
    CmdDefaut = new QPushButton(QStringLiteral("Définir par défaut"), client);
    CmdDefaut->setObjectName(QStringLiteral("CmdDefaut"));
    CmdDefaut->setGeometry(twips(90, 3165, 1455, 375));
    connect(CmdDefaut, &QPushButton::clicked, this, &frmmain::CmdDefaut_Click);

    ProgressBar1 = new ProgressBar(QStringLiteral("ProgressBar1"), client);
    ProgressBar1->setGeometry(twips(300, 2685, 4245, 285));
    ProgressBar1->hide();

    Txtsociete = createTextBox(QStringLiteral("Txtsociete"), twips(120, 1755, 2265, 315), client);
    Txtdepot = createTextBox(QStringLiteral("Txtdepot"), twips(2520, 1755, 2265, 315), client);

    // Silver is the transparent colour of both image lists.
    ImageList1 = new ImageList(QStringLiteral("ImageList1"), QSize(24, 23), kSilver, this);
    ImageList1->add(QStringLiteral(":/images/folder.xpm"));

    TlbFichier = new Toolbar(QStringLiteral("TlbFichier"), twips(4020, 240, 465, 435), *ImageList1, client);
    TlbFichier->addButton(1, QStringLiteral("Ouvrir un fichier Inventaire"));
    connect(TlbFichier, &Toolbar::ButtonClick, this, &frmmain::TlbFichier_ButtonClick);

    ImgBT = new ImageList(QStringLiteral("ImgBT"), QSize(24, 24), kSilver, this);
    ImgBT->add(QStringLiteral(":/images/tick.xpm"));
    ImgBT->add(QStringLiteral(":/images/cross.xpm"));

    TlbPrpp = new Toolbar(QStringLiteral("TlbPrpp"), twips(3840, 3135, 975, 450), *ImgBT, client);
    TlbPrpp->addButton(1, QStringLiteral("Valider"));
    TlbPrpp->addButton(2, QStringLiteral("Fermer"));
    connect(TlbPrpp, &Toolbar::ButtonClick, this, &frmmain::TlbPrpp_ButtonClick);

    TblGestion = new Toolbar(QStringLiteral("TblGestion"), twips(4020, 840, 465, 435), *ImageList1, client);
    TblGestion->addButton(1, QStringLiteral("Sélectionner la base de gestion"));
    connect(TblGestion, &Toolbar::ButtonClick, this, &frmmain::TblGestion_ButtonClick);

    lblGestion =
        createLabel(QStringLiteral("lblGestion"), QString(), TextLabel::DisplayBox, twips(270, 990, 3705, 255), client);
    Label4 = createLabel(QStringLiteral("Label4"), QStringLiteral("Gestion :"), TextLabel::Caption,
                         twips(300, 720, 675, 255), client);
    LblMessages =
        createLabel(QStringLiteral("LblMessages"), QString(), TextLabel::Caption, twips(300, 2445, 2925, 285), client);
    Label3 = createLabel(QStringLiteral("Label3"), QStringLiteral("Société :"), TextLabel::Caption,
                         twips(150, 1515, 1425, 255), client);
    Label2 = createLabel(QStringLiteral("Label2"), QStringLiteral("Code Dépôt :"), TextLabel::Caption,
                         twips(2550, 1515, 1425, 255), client);
    Label1 = createLabel(QStringLiteral("Label1"), QStringLiteral("Fichier :"), TextLabel::Caption,
                         twips(300, 120, 675, 255), client);
    lblchemin =
        createLabel(QStringLiteral("lblchemin"), QString(), TextLabel::DisplayBox, twips(270, 390, 3705, 255), client);

    // The keyboard goes round the two code boxes and the command button. The toolbars stay
    // out of it, as toolbar buttons do in Qt: they are reached with the mouse.
    QWidget::setTabOrder(Txtsociete, Txtdepot);
    QWidget::setTabOrder(Txtdepot, CmdDefaut);
    Txtsociete->setFocus();

    // For screen readers, with nothing shown: each box is named by the caption beside it,
    // without its " :", each toolbar button by its tooltip.
    for (auto [box, caption] : {std::pair<QWidget *, TextLabel *>{Txtsociete, Label3},
                                {Txtdepot, Label2},
                                {lblchemin, Label1},
                                {lblGestion, Label4}})
        box->setAccessibleName(caption->text().chopped(2));
    for (Toolbar *bar : {TlbFichier, TblGestion, TlbPrpp})
        for (int index = 1; index <= bar->buttonCount(); ++index)
            bar->buttonWidget(index)->setAccessibleName(bar->button(index)->toolTip());
    LblMessages->setAccessibleName(QStringLiteral("État"));
    ProgressBar1->setAccessibleName(QStringLiteral("Progression"));
}

void frmmain::Form_Load()
{
    FicParam = m_environment.executable.beside(FichierParametres());
    const ParametresLus lus = LireParametres(FicParam);
    Societe = lus.Societe;
    Depot = lus.Depot;
    Txtsociete->setText(Societe);
    Txtdepot->setText(Depot);
    lblGestion->setText(lus.GestionPath);
    const ChoixEdition choix = ChoisirEdition(lus.Gestion);
    Gestion = choix.Gestion;
    mnukelmar->setChecked(choix.cochee == EditionCochee::Kelmar);
    mnudovane->setChecked(choix.cochee == EditionCochee::Dovane);
}

void frmmain::CmdDefaut_Click()
{
    EnregistrerDefauts(FicParam, {Txtsociete->text(), Txtdepot->text(), Gestion, lblGestion->text()});
    Societe = Txtsociete->text();
    Depot = Txtdepot->text();
    m_environment.dialogs.message(QStringLiteral("Paramètres enregistrés"), MessageIcon::Information,
                                  m_environment.executable.name);
}

// The edition is the field; the ticks only show it. A second click on the ticked item leaves
// no item ticked and the edition as it is.
void frmmain::chooseEdition(qint16 edition, QAction *clicked, QAction *other)
{
    Gestion = edition;
    if (clicked->isChecked()) {
        clicked->setChecked(false);
    } else {
        clicked->setChecked(true);
        other->setChecked(false);
    }
}

void frmmain::mnukelmar_Click()
{
    chooseEdition(1, mnukelmar, mnudovane);
}

void frmmain::mnudovane_Click()
{
    chooseEdition(2, mnudovane, mnukelmar);
}

void frmmain::TlbFichier_ButtonClick(int /*index*/)
{
    Fichier = m_environment.dialogs.openFile(QStringLiteral("*.*"));
    lblchemin->setText(Fichier);
    TlbPrpp->button(1)->setEnabled(true);
}

void frmmain::TblGestion_ButtonClick(int /*index*/)
{
    lblGestion->setText(m_environment.dialogs.openFile(QStringLiteral("Gestion | *.mdb")));
}

void frmmain::TlbPrpp_ButtonClick(int index)
{
    if (index == 1)
        Valider();
    else if (index == 2)
        Fermer();
}

void frmmain::Valider()
{
    const auto refuse = [this](const QString &text) {
        m_environment.dialogs.message(text, MessageIcon::Exclamation, m_environment.executable.name);
    };
    if (Txtdepot->text().isEmpty() || Txtsociete->text().isEmpty()) {
        refuse(QStringLiteral("Vous devez saisir un code dépôt et un code société"));
        return;
    }
    if (Fichier.isEmpty()) {
        refuse(QStringLiteral("Vous devez selectionner un fichier d'inventaire"));
        return;
    }
    if (lblGestion->text().isEmpty()) {
        refuse(QStringLiteral("Vous devez selectionner le fichier Corvel.mdb de votre gestion"));
        return;
    }
    // Bring the window up to date before the long run, during which it handles no events.
    repaint();
    Societe = Txtsociete->text();
    Depot = Txtdepot->text();
    ProgressBar1->show();
    m_import->run(Societe, Depot, Gestion);
    TlbPrpp->button(1)->setEnabled(false);
}

void frmmain::Fermer()
{
    close();
    QCoreApplication::quit();
}
