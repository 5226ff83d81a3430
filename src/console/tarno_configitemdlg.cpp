#include "console/tarno_configitemdlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <vector>

#include "common/text.h"
#include "config/convtypes.h"
#include "config/fcsconfig.h"
#include "console/basesvc_configdlg.h"
#include "console/prompts.h"

namespace {

// The order of the type list.
constexpr int TypeListOrder[] = {
    ctNone,         ctAce,         ctAcurity,         ctAemsofts,
    ctBizPlu,       ctBrickstream, ctBrickstreamChld, ctBrickstreamRt,
    ctCboxRt,       ctCegid,       ctCheckpoint,      ctCorrection,
    ctCroma,        ctCylande,     ctGenerix,         ctOdeis,
    ctVrkMerge,     ctVrkCbx,      ctVrkNormalize,    ctSoftTouch,
    ctVrkSummarize, ctXlSoft,      ctWinparf,
};

const char* const TimeFilterCaption = "Utilisez uniquement des données de l'intervalle de temps";
const char* const CurrDayOnlyCaption =
    "Utilisez uniquement des données appartenant à la journée en cours";
const char* const ZeroExitsCaption = "Mettre en place les valeurs de \"sorties\" à zéro";
const char* const UseShopIdCaption = "Utiliser ID du magasin";
const char* const NoDateSepCaption = "Ne pas utiliser de séparateur pour les dates.";
const char* const StoreCodeCaption = "Code du magasin";
const char* const OutDirTitle = "Sélectionnez un répertoire où placer les fichiers convertis";
const char* const SrcDirTitle = "Sélectionnez un répertoire où trouver les fichiers source";

const char* const DayNames[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

QString Utf8(const char* Text) {
    return QString::fromUtf8(Text);
}

QString Utf8(const std::string& Text) {
    return QString::fromStdString(Text);
}

// The member Field of the parameter object, when the object is of the panel's class P (M is the
// class level that declares Field); null for any other class.
template <class P, class M, class T>
std::function<T*(TConvParams&)> MemberOf(T M::*Field) {
    return [Field](TConvParams& Params) -> T* {
        auto* Typed = dynamic_cast<P*>(&Params);
        return Typed != nullptr ? &(static_cast<M&>(*Typed).*Field) : nullptr;
    };
}

// Drops a typed key that is not a digit (nor, when allowed, the locale's decimal separator),
// with a beep; editing keys and pasting pass.
class TDigitKeyFilter : public QObject {
public:
    TDigitKeyFilter(QObject* Parent, bool AllowDecimal) : QObject(Parent), FDecimal(AllowDecimal) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::KeyPress) {
            const QString Text = static_cast<QKeyEvent*>(Event)->text();
            if (Text.size() == 1 && Text[0].isPrint() && !Text[0].isDigit() &&
                !(FDecimal && Text[0] == QLocale().decimalPoint().front())) {
                QApplication::beep();
                return true;
            }
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    bool FDecimal;
};

} // namespace

// One control, or one group of controls, of a type panel and the parameter it edits.
struct TTarnoConfigItemDlg::TBoundControl {
    enum TKind { Check, Choice, Text, Quarters, Slice, Staff, Coeffs };
    TKind Kind = Check;
    std::string Name;     // the control (Choice: the "true" radio button; Quarters: start list)
    std::string Caption;  // of the check box or radio button
    std::string Name2;    // Choice: the "false" radio button; Quarters: the stop list
    std::string Caption2; // Choice: its caption; Quarters: the caption of the stop list's label
    // (Quarters: Caption is the object name of the stop list's label.)
    std::string Label; // a label before the control, or ""
    std::string LabelCaption;
    std::vector<std::string> Enables; // controls enabled while the control is checked
    std::string Unchecks;             // a check box cleared when this one gets checked
    bool TrimOnLoad = false;
    std::function<bool*(TConvParams&)> Bool;
    std::function<std::string*(TConvParams&)> Str;
    std::function<int*(TConvParams&)> Int;
    std::function<int*(TConvParams&)> Int2;
    std::function<TStaffCoeffs*(TConvParams&)> StaffValues;
    std::function<TWeekCoeffs*(TConvParams&)> CoeffValues;
};

namespace {

using TBound = TTarnoConfigItemDlg::TBoundControl;

TBound Bound(TBound::TKind Kind, std::string Name, std::string Caption = {}, std::string Name2 = {},
             std::string Caption2 = {}) {
    TBound B;
    B.Kind = Kind;
    B.Name = std::move(Name);
    B.Caption = std::move(Caption);
    B.Name2 = std::move(Name2);
    B.Caption2 = std::move(Caption2);
    return B;
}

template <class P, class M>
TBound CheckBox(std::string Name, const char* Caption, bool M::*Field,
                std::vector<std::string> Enables = {}, std::string Unchecks = {}) {
    TBound B = Bound(TBound::Check, std::move(Name), Caption);
    B.Enables = std::move(Enables);
    B.Unchecks = std::move(Unchecks);
    B.Bool = MemberOf<P, M>(Field);
    return B;
}

// Two radio buttons: OnName sets Field, OffName clears it.
template <class P, class M>
TBound Choice(std::string OffName, const char* OffCaption, std::string OnName,
              const char* OnCaption, bool M::*Field, std::vector<std::string> Enables = {}) {
    TBound B = Bound(TBound::Choice, std::move(OnName), OnCaption, std::move(OffName), OffCaption);
    B.Enables = std::move(Enables);
    B.Bool = MemberOf<P, M>(Field);
    return B;
}

template <class P, class M>
TBound Edit(std::string Name, std::string Label, const char* LabelCaption, std::string M::*Field,
            bool TrimOnLoad = true) {
    TBound B = Bound(TBound::Text, std::move(Name));
    B.Label = std::move(Label);
    B.LabelCaption = LabelCaption != nullptr ? LabelCaption : "";
    B.TrimOnLoad = TrimOnLoad;
    B.Str = MemberOf<P, M>(Field);
    return B;
}

template <class P, class M>
TBound QuarterLists(std::string Start, std::string Stop, int M::*QtrStart, int M::*QtrStop) {
    TBound B = Bound(TBound::Quarters, std::move(Start), {}, std::move(Stop));
    B.Int = MemberOf<P, M>(QtrStart);
    B.Int2 = MemberOf<P, M>(QtrStop);
    return B;
}

// The time filter of the exports: "Cb<Prefix>UseFlt" enables the "from" and "to" labels and
// the lists "Cb<Prefix>QtrStart" and "Cb<Prefix>QtrStop".
template <class P>
std::vector<TBound> TimeFilter(const std::string& Prefix) {
    using F = TConvParamsWithTimeFilter;
    TBound Lists = QuarterLists<P, F>("Cb" + Prefix + "QtrStart", "Cb" + Prefix + "QtrStop",
                                      &F::QtrStart, &F::QtrStop);
    Lists.Label = "Lab" + Prefix + "From";
    Lists.LabelCaption = "de";
    Lists.Caption = "Lab" + Prefix + "To";
    Lists.Caption2 = "à";
    return {CheckBox<P, F>("Cb" + Prefix + "UseFlt", TimeFilterCaption, &F::UseTimeFilter,
                           {"Lab" + Prefix + "From", "Cb" + Prefix + "QtrStart",
                            "Lab" + Prefix + "To", "Cb" + Prefix + "QtrStop"}),
            Lists};
}

struct TPanelInfo {
    int Type;
    const char* Name;
    bool ExtEditable;
    std::vector<TBound> Controls;
};

std::vector<TBound> Join(std::vector<TBound> A, std::vector<TBound> B) {
    for (auto& Item : B) {
        A.push_back(std::move(Item));
    }
    return A;
}

// Every type panel with its controls and the parameter each one edits.
const std::vector<TPanelInfo>& PanelTable() {
    using Ace = TConvParamsAce;
    using Br = TConvParamsBrickstream;
    using BrCh = TConvParamsBrickstreamChld;
    using BrRt = TConvParamsBrickstreamRt;
    using Ods = TConvParamsOdeis;
    using Nrm = TConvParamsVrkNormalize;
    using Sum = TConvParamsVrkSummarize;
    using Xls = TConvParamsXlSoft;
    using Cgd = TConvParamsCegid;
    using Chk = TConvParamsCheckpoint;
    using Cln = TConvParamsCylande;
    using Sft = TConvParamsSoftTouch;
    using F = TConvParamsWithTimeFilter;
    std::vector<std::string> StaffControls;
    for (const char* Day : DayNames) {
        StaffControls.push_back(std::string("LabStaff") + Day);
        StaffControls.push_back(std::string("EdStaff") + Day);
    }
    TBound Staff = Bound(TBound::Staff, "EdStaff");
    Staff.StaffValues = MemberOf<Nrm, Nrm>(&Nrm::StaffCoeffs);
    TBound Coeffs = Bound(TBound::Coeffs, "EdCorrection");
    Coeffs.CoeffValues =
        MemberOf<TConvParamsCorrection, TConvParamsCorrection>(&TConvParamsCorrection::Correction);
    TBound Slice = Bound(TBound::Slice, "CbXlsSlice");
    Slice.Label = "LabXlsSlice";
    Slice.LabelCaption = "Slice size";
    Slice.Int = MemberOf<Xls, Xls>(&Xls::SliceSize);
    TBound XlsTimes =
        QuarterLists<Xls, Xls>("CbXlsQtrStart", "CbXlsQtrStop", &Xls::QtrStart, &Xls::QtrStop);
    XlsTimes.Label = "LabXlsStart";
    XlsTimes.LabelCaption = "Début";
    XlsTimes.Caption = "LabXlsStop";
    XlsTimes.Caption2 = "Arrêt";

    static const std::vector<TPanelInfo> Table{
        {ctAce, "PnAce", false,
         Join(TimeFilter<Ace>("Ace"),
              {Choice<Ace, Ace>("RbAceNameFixed", "Nom du fichier ACE - ZALMORET.TXT",
                                "RbAceNameDaylike", "Nom du fichier ACE - AAMMJJ.TXT",
                                &Ace::DaylikeOut)})},
        {ctAcurity, "PnAcurity", true, {}},
        {ctAemsofts, "PnAemsofts", false, {}},
        {ctBizPlu, "PnBizPlu", false, {}},
        {ctBrickstream,
         "PnBrickstream",
         false,
         {CheckBox<Br, Br>("CbZeroExits", ZeroExitsCaption, &Br::ZeroExits),
          CheckBox<Br, Br>("CbUseShopIdBr", UseShopIdCaption, &Br::UseShopId, {"EdShopIdBr"}),
          Edit<Br, Br>("EdShopIdBr", "", nullptr, &Br::ShopId)}},
        {ctBrickstreamChld,
         "PnBrickstreamCh",
         false,
         {CheckBox<BrCh, Br>("CbZeroExitsCh", ZeroExitsCaption, &Br::ZeroExits),
          CheckBox<BrCh, Br>("CbUseShopIdBrch", UseShopIdCaption, &Br::UseShopId, {"EdShopIdBrCh"}),
          Edit<BrCh, Br>("EdShopIdBrCh", "", nullptr, &Br::ShopId)}},
        {ctBrickstreamRt,
         "PnBrickstreamRt",
         false,
         {CheckBox<BrRt, BrRt>("CbUseShopIdBrRt", UseShopIdCaption, &BrRt::UseShopId,
                               {"EdShopIdBrRt"}),
          Edit<BrRt, BrRt>("EdShopIdBrRt", "", nullptr, &BrRt::ShopId)}},
        {ctCboxRt, "PnCboxRt", true, TimeFilter<TConvParamsCboxRt>("Cbx")},
        {ctCorrection, "PnCorrection", true, {Coeffs}},
        {ctCroma, "PnCroma", true, {}},
        {ctOdeis, "PnOdeis", false,
         Join(TimeFilter<Ods>("Ods"), {Edit<Ods, Ods>("EdOdsStoreCode", "LabOdsStoreCode",
                                                      StoreCodeCaption, &Ods::StoreCode, false)})},
        {ctVrkMerge, "PnVrkMerge", true, {}},
        {ctVrkCbx,
         "PnVrksimplif",
         true,
         {CheckBox<TConvParamsVrkSimplif, TConvParamsVrkSimplif>(
             "CbVrkSimplifZeroExits", ZeroExitsCaption, &TConvParamsVrkSimplif::ZeroExits)}},
        {ctVrkNormalize,
         "PnVrknorm",
         false,
         {Edit<Nrm, Nrm>("EdNrmlStoreCode", "LabNrmlStoreCode", StoreCodeCaption, &Nrm::StoreCode,
                         false),
          CheckBox<Nrm, Nrm>("CbNrmlRemEx", "Supprimer les sorties", &Nrm::NoExits, {},
                             "CbNrmlExMixer"),
          CheckBox<Nrm, Nrm>("CbNrmlExMixer", "ES Mélangeur", &Nrm::EXMerge, {}, "CbNrmlRemEx"),
          CheckBox<Nrm, Nrm>("CbNrmlStaffRem", "Supprimer le personnel", &Nrm::StaffRemoval,
                             StaffControls),
          Staff}},
        {ctVrkSummarize,
         "PnSummarize",
         false,
         {CheckBox<Sum, Sum>("CbSummarizeDoorsOnly", "Portes seulement", &Sum::DoorOnly),
          Edit<Sum, Sum>("EdSummarizeStoreId", "LabSummarizeStoreId", StoreCodeCaption,
                         &Sum::StoreId, false),
          CheckBox<Sum, Sum>("CbSummarizeZeroExits", ZeroExitsCaption, &Sum::ZeroExits)}},
        {ctXlSoft,
         "PnXlSoft",
         false,
         {Edit<Xls, TConvParamsWithRawOutput>("EdRawOutdir", "LabRawOutDir",
                                              "Copy original file(s) to",
                                              &TConvParamsWithRawOutput::RawOutDir),
          XlsTimes, Slice}},
        {ctCegid, "PnCegid", false,
         Join({Edit<Cgd, Cgd>("EdShopIDCegid", "LabShopCegid", "Shop ID", &Cgd::ShopId),
               Choice<Cgd, Cgd>("RbCegid", "CEGID PGI", "RbCegidBusiness", "CEGID CBR and Y2",
                                &Cgd::RetailMode, {"LabCodeCegid", "EdCodeCegid"}),
               Edit<Cgd, Cgd>("EdCodeCegid", "LabCodeCegid", "Code", &Cgd::Code, false)},
              TimeFilter<Cgd>("Cgd"))},
        {ctCheckpoint, "PnCheckpoint", false,
         Join(
             {Edit<Chk, Chk>("EdChkpCounterid", "LabChkpCounterId", "Counter ID", &Chk::CounterId)},
             TimeFilter<Chk>("Chkp"))},
        {ctGenerix, "PnGenerix", false, TimeFilter<TConvParamsGenerix>("Gnrx")},
        {ctCylande, "PnCylande", false,
         Join(TimeFilter<Cln>("Clnd"),
              {CheckBox<Cln, F>("CbClndCurrDayOnly", CurrDayOnlyCaption, &F::CurrDayOnly),
               CheckBox<Cln, Cln>("CbClndNoDateSep", NoDateSepCaption, &Cln::NoDateSeparator),
               CheckBox<Cln, Cln>("CbScale15", "Use 15-min scale for data output",
                                  &Cln::Scale15min)})},
        {ctSoftTouch, "PnSoftTouch", false,
         Join(TimeFilter<Sft>("Sft"),
              {CheckBox<Sft, F>("CbSftCurrDayOnly", CurrDayOnlyCaption, &F::CurrDayOnly),
               CheckBox<Sft, Sft>("CbSftNoDateSep", NoDateSepCaption, &Sft::NoDateSeparator),
               Edit<Sft, Sft>("EdSftLocationName", "LabSftLocationName", "Nom de lieu",
                              &Sft::LocationName, false),
               Edit<Sft, Sft>("EdSftLocationId", "LabSftLocationId", "ID de lieu", &Sft::LocationId,
                              false)})},
        {ctWinparf, "PnWinparf", false, {}},
    };
    return Table;
}

const TPanelInfo* FindPanel(int Type) {
    for (const TPanelInfo& Panel : PanelTable()) {
        if (Panel.Type == Type) {
            return &Panel;
        }
    }
    return nullptr;
}

QString QuarterText(int Quarter) {
    return Utf8(Format("%2.2d:%2.2d", Quarter / 4, (Quarter % 4) * 15));
}

QComboBox* QuarterList(QWidget* Parent, const std::string& Name) {
    auto* List = new QComboBox(Parent);
    List->setObjectName(Utf8(Name));
    for (int Quarter = 0; Quarter < QuartersPerDay; ++Quarter) {
        List->addItem(QuarterText(Quarter));
    }
    return List;
}

// The parent folder of Dir with a trailing delimiter ("" when Dir names no folder).
std::string ParentFolder(std::string Dir) {
    while (Dir.size() > 1 && Dir.back() == '/') {
        Dir.pop_back();
    }
    const std::size_t Slash = Dir.rfind('/');
    return Slash == std::string::npos ? std::string() : Dir.substr(0, Slash + 1);
}

void SetValidLook(QLineEdit* Edit, bool Valid) {
    Edit->setStyleSheet(Valid ? QString() : QString("QLineEdit { background: red; }"));
}

} // namespace

TTarnoConfigItemDlg::TTarnoConfigItemDlg(QWidget* Owner) : QDialog(Owner) {
    setWindowTitle(Utf8("Paramètres de conversion de fichiers"));
    auto* Main = new QVBoxLayout(this);
    auto* Common = new QGridLayout();
    Main->addLayout(Common);

    auto* LabTrackDir = new QLabel(Utf8("Répertoire de données source"), this);
    LabTrackDir->setObjectName("LabTrackDir");
    EdTrackDir = new QLineEdit(this);
    EdTrackDir->setObjectName("EdTrackDir");
    BtnBrowseSrcDir = new QPushButton("...", this);
    BtnBrowseSrcDir->setObjectName("BtnBrowseSrcDir");
    BtnBrowseSrcDir->setToolTip(Utf8(SrcDirTitle));
    auto* LabConvType = new QLabel(Utf8("Type de conversion"), this);
    LabConvType->setObjectName("LabConvType");
    CbConvType = new QComboBox(this);
    CbConvType->setObjectName("CbConvType");
    for (int Code : TypeListOrder) {
        CbConvType->addItem(Utf8(TZirConfig::ConvTypeToText(Code)), Code);
    }
    auto* LabFileExt = new QLabel(Utf8("Extension du fichier"), this);
    LabFileExt->setObjectName("LabFileExt");
    EdFileExt = new QLineEdit(this);
    EdFileExt->setObjectName("EdFileExt");
    LabOutDir = new QLabel("Output directory", this);
    LabOutDir->setObjectName("LabOutDir");
    EdOutDir = new QLineEdit(this);
    EdOutDir->setObjectName("EdOutDir");
    BtnBrowseOutDir = new QPushButton("...", this);
    BtnBrowseOutDir->setObjectName("BtnBrowseOutDir");
    BtnBrowseOutDir->setToolTip(Utf8(OutDirTitle));

    Common->addWidget(LabTrackDir, 0, 0, 1, 3);
    Common->addWidget(EdTrackDir, 1, 0, 1, 2);
    Common->addWidget(BtnBrowseSrcDir, 1, 2);
    Common->addWidget(LabConvType, 2, 0);
    Common->addWidget(LabFileExt, 2, 1);
    Common->addWidget(CbConvType, 3, 0);
    Common->addWidget(EdFileExt, 3, 1);
    Common->addWidget(LabOutDir, 4, 0, 1, 3);
    Common->addWidget(EdOutDir, 5, 0, 1, 2);
    Common->addWidget(BtnBrowseOutDir, 5, 2);
    Common->setColumnStretch(0, 1);

    auto* Host = new QWidget(this);
    BuildPanels(Host);
    Main->addWidget(Host, 1);

    AddOkCancelButtons(*this, *Main, BtnOK, BtnCancel);
    resize(520, 470);

    connect(CbConvType, qOverload<int>(&QComboBox::activated), this,
            [this](int Index) { ChangeType(CbConvType->itemData(Index).toInt()); });
    connect(EdFileExt, &QLineEdit::textChanged, this, [this](const QString& Text) {
        if (!Loading) {
            FParams->FileExt = Trim(Text.toStdString());
        }
    });
    connect(EdOutDir, &QLineEdit::textChanged, this, &TTarnoConfigItemDlg::OutDirEdited);
    auto Browse = [this](QLineEdit* Edit, const char* Title, const std::string* Default) {
        std::string Folder = Trim(Edit->text().toStdString());
        if (Folder.empty()) {
            Folder = *Default;
        }
        if (BrowseForFolder(this, Utf8(Title), Folder)) {
            Edit->setText(Utf8(Folder));
        }
    };
    connect(BtnBrowseSrcDir, &QPushButton::clicked, this,
            [this, Browse] { Browse(EdTrackDir, SrcDirTitle, &DefaultSourceDir); });
    connect(BtnBrowseOutDir, &QPushButton::clicked, this,
            [this, Browse] { Browse(EdOutDir, OutDirTitle, &DefaultOutputDir); });
    auto* BtnBrowseRawOutDir = findChild<QPushButton*>("BtnBrowseRawOutDir");
    auto* EdRawOutdir = findChild<QLineEdit*>("EdRawOutdir");
    connect(BtnBrowseRawOutDir, &QPushButton::clicked, this,
            [this, Browse, EdRawOutdir] { Browse(EdRawOutdir, OutDirTitle, &DefaultOutputDir); });

    SetTypeAndParams(ctNone, nullptr);
}

TTarnoConfigItemDlg::~TTarnoConfigItemDlg() = default;

void TTarnoConfigItemDlg::BuildPanels(QWidget* Host) {
    auto* HostLayout = new QVBoxLayout(Host);
    HostLayout->setContentsMargins(0, 0, 0, 0);
    PnNone = new QWidget(Host);
    PnNone->setObjectName("PnNone");
    HostLayout->addWidget(PnNone);
    for (const TPanelInfo& Info : PanelTable()) {
        auto* Panel = new QWidget(Host);
        Panel->setObjectName(Info.Name);
        auto* Grid = new QGridLayout(Panel);
        int Row = 0;
        for (const TBound& B : Info.Controls) {
            QLabel* Label = nullptr;
            if (!B.Label.empty()) {
                Label = new QLabel(Utf8(B.LabelCaption), Panel);
                Label->setObjectName(Utf8(B.Label));
            }
            switch (B.Kind) {
            case TBound::Check: {
                auto* Box = new QCheckBox(Utf8(B.Caption), Panel);
                Box->setObjectName(Utf8(B.Name));
                Grid->addWidget(Box, Row++, 0, 1, 4);
                connect(Box, &QCheckBox::toggled, this, [this, &B, Panel](bool Checked) {
                    if (Checked && !B.Unchecks.empty()) {
                        Panel->findChild<QCheckBox*>(Utf8(B.Unchecks))->setChecked(false);
                    }
                    WriteBack(B);
                    UpdateEnabling();
                });
                break;
            }
            case TBound::Choice: {
                auto* Off = new QRadioButton(Utf8(B.Caption2), Panel);
                Off->setObjectName(Utf8(B.Name2));
                auto* On = new QRadioButton(Utf8(B.Caption), Panel);
                On->setObjectName(Utf8(B.Name));
                Grid->addWidget(Off, Row++, 0, 1, 4);
                Grid->addWidget(On, Row++, 0, 1, 4);
                connect(On, &QRadioButton::toggled, this, [this, &B] {
                    WriteBack(B);
                    UpdateEnabling();
                });
                break;
            }
            case TBound::Text: {
                auto* Ed = new QLineEdit(Panel);
                Ed->setObjectName(Utf8(B.Name));
                if (Label != nullptr) {
                    Grid->addWidget(Label, Row, 0);
                }
                Grid->addWidget(Ed, Row++, 1, 1, 4);
                if (B.Name == "EdRawOutdir") {
                    auto* Btn = new QPushButton("...", Panel);
                    Btn->setObjectName("BtnBrowseRawOutDir");
                    Btn->setToolTip(Utf8(OutDirTitle));
                    Grid->addWidget(Btn, Row - 1, 5);
                }
                connect(Ed, &QLineEdit::textChanged, this, [this, &B] { WriteBack(B); });
                break;
            }
            case TBound::Quarters: {
                auto* Start = QuarterList(Panel, B.Name);
                auto* Stop = QuarterList(Panel, B.Name2);
                auto* To = new QLabel(Utf8(B.Caption2), Panel);
                To->setObjectName(Utf8(B.Caption));
                Grid->addWidget(Label, Row, 0);
                Grid->addWidget(Start, Row, 1);
                Grid->addWidget(To, Row, 2);
                Grid->addWidget(Stop, Row++, 3);
                for (QComboBox* List : {Start, Stop}) {
                    connect(List, qOverload<int>(&QComboBox::currentIndexChanged), this,
                            [this, &B] { WriteBack(B); });
                }
                break;
            }
            case TBound::Slice: {
                auto* List = new QComboBox(Panel);
                List->setObjectName(Utf8(B.Name));
                List->addItems({"1", "30", "60"});
                auto* Min = new QLabel("min", Panel);
                Min->setObjectName("LabXlsMin");
                Grid->addWidget(Label, Row, 0);
                Grid->addWidget(List, Row, 1);
                Grid->addWidget(Min, Row++, 2);
                connect(List, qOverload<int>(&QComboBox::currentIndexChanged), this,
                        [this, &B] { WriteBack(B); });
                break;
            }
            case TBound::Staff:
            case TBound::Coeffs: {
                const bool Staff = B.Kind == TBound::Staff;
                auto* Filter = new TDigitKeyFilter(Panel, !Staff);
                QLocale Locale;
                for (int Day = 0; Day < 7; ++Day) {
                    // Monday first; Qt numbers the days 1 (Monday) to 7.
                    auto* DayLabel =
                        new QLabel(Locale.dayName(Day + 1, QLocale::LongFormat), Panel);
                    DayLabel->setObjectName(
                        Utf8(std::string(Staff ? "LabStaff" : "LabCorrection") + DayNames[Day]));
                    auto* Ed = new QLineEdit(Panel);
                    Ed->setObjectName(Utf8(B.Name + DayNames[Day]));
                    Ed->installEventFilter(Filter);
                    Grid->addWidget(DayLabel, Row, 0);
                    Grid->addWidget(Ed, Row++, 1);
                    connect(Ed, &QLineEdit::textChanged, this, [this, &B] { WriteBack(B); });
                }
                break;
            }
            }
        }
        Grid->setRowStretch(Row, 1);
        Grid->setColumnStretch(4, 1);
        HostLayout->addWidget(Panel);
        FPanels[Info.Type] = Panel;
    }
}

QWidget* TTarnoConfigItemDlg::TypePanel(int Code) const {
    const auto It = FPanels.find(Code);
    return It != FPanels.end() ? It->second : PnNone;
}

void TTarnoConfigItemDlg::SetTypeAndParams(int Code, const TConvParams* Source) {
    int Index = CbConvType->findData(Code);
    if (Index < 0) {
        Index = CbConvType->findData(static_cast<int>(ctNone));
    }
    FParams = TZirConfig::CreateConvParams(CbConvType->itemData(Index).toInt());
    if (Source != nullptr) {
        FParams->Assign(*Source);
    }
    CbConvType->setCurrentIndex(Index);
    ShowTypePanel();
}

void TTarnoConfigItemDlg::ChangeType(int Code) {
    const int Index = CbConvType->findData(Code);
    if (Index < 0) {
        return;
    }
    std::unique_ptr<TConvParams> Fresh = TZirConfig::CreateConvParams(Code);
    const std::string DefaultOutDir = Fresh->OutDir;
    Fresh->Assign(*FParams);
    if (Fresh->OutDir.empty()) {
        Fresh->OutDir = DefaultOutDir;
    }
    FParams = std::move(Fresh);
    CbConvType->setCurrentIndex(Index);
    ShowTypePanel();
}

void TTarnoConfigItemDlg::SetDirectory(const std::string& Dir) {
    EdTrackDir->setText(Utf8(Dir));
}

std::string TTarnoConfigItemDlg::Directory() const {
    return EdTrackDir->text().toStdString();
}

int TTarnoConfigItemDlg::ConvType() const {
    return CbConvType->currentData().toInt();
}

void TTarnoConfigItemDlg::ShowTypePanel() {
    Loading = true;
    const int Type = ConvType();
    EdOutDir->setText(Utf8(Trim(FParams->OutDir)));
    EdFileExt->setText(Utf8(FParams->FileExt));
    LabOutDir->setVisible(Type != ctVrkNormalize);
    EdOutDir->setVisible(true);
    BtnBrowseOutDir->setVisible(true);
    PnNone->hide();
    for (auto& [Code, Panel] : FPanels) {
        Panel->hide();
    }
    TypePanel(Type)->show();
    const TPanelInfo* Info = FindPanel(Type);
    EdFileExt->setEnabled(Info == nullptr || Info->ExtEditable);
    if (Info != nullptr) {
        QWidget* Panel = TypePanel(Type);
        for (const TBound& B : Info->Controls) {
            const QString Name = Utf8(B.Name);
            switch (B.Kind) {
            case TBound::Check:
                Panel->findChild<QCheckBox*>(Name)->setChecked(*B.Bool(*FParams));
                break;
            case TBound::Choice: {
                const bool On = *B.Bool(*FParams);
                Panel->findChild<QRadioButton*>(Name)->setChecked(On);
                Panel->findChild<QRadioButton*>(Utf8(B.Name2))->setChecked(!On);
                break;
            }
            case TBound::Text: {
                const std::string& Value = *B.Str(*FParams);
                Panel->findChild<QLineEdit*>(Name)->setText(
                    Utf8(B.TrimOnLoad ? Trim(Value) : Value));
                break;
            }
            case TBound::Quarters:
                Panel->findChild<QComboBox*>(Name)->setCurrentIndex(
                    std::clamp(*B.Int(*FParams), 0, QuartersPerDay - 1));
                Panel->findChild<QComboBox*>(Utf8(B.Name2))
                    ->setCurrentIndex(std::clamp(*B.Int2(*FParams), 0, QuartersPerDay - 1));
                break;
            case TBound::Slice: {
                auto* List = Panel->findChild<QComboBox*>(Name);
                List->setCurrentIndex(List->findText(QString::number(*B.Int(*FParams))));
                break;
            }
            case TBound::Staff:
                for (int Day = 0; Day < 7; ++Day) {
                    auto* Ed = Panel->findChild<QLineEdit*>(Utf8(B.Name + DayNames[Day]));
                    Ed->setText(
                        QString::number((*B.StaffValues(*FParams))[static_cast<size_t>(Day)]));
                    SetValidLook(Ed, true);
                }
                break;
            case TBound::Coeffs:
                for (int Day = 0; Day < 7; ++Day) {
                    auto* Ed = Panel->findChild<QLineEdit*>(Utf8(B.Name + DayNames[Day]));
                    Ed->setText(QLocale().toString(
                        (*B.CoeffValues(*FParams))[static_cast<size_t>(Day)], 'f', 2));
                    SetValidLook(Ed, true);
                }
                break;
            }
        }
    }
    UpdateEnabling();
    Loading = false;
}

void TTarnoConfigItemDlg::UpdateEnabling() {
    const TPanelInfo* Info = FindPanel(ConvType());
    if (Info == nullptr) {
        return;
    }
    QWidget* Panel = TypePanel(Info->Type);
    for (const TBound& B : Info->Controls) {
        if (B.Enables.empty()) {
            continue;
        }
        const auto* Button = Panel->findChild<QAbstractButton*>(Utf8(B.Name));
        for (const std::string& Name : B.Enables) {
            if (auto* Target = Panel->findChild<QWidget*>(Utf8(Name))) {
                Target->setEnabled(Button->isChecked());
            }
        }
    }
}

void TTarnoConfigItemDlg::WriteBack(const TBoundControl& B) {
    if (Loading) {
        return;
    }
    const TPanelInfo* Info = FindPanel(ConvType());
    if (Info == nullptr) {
        return;
    }
    QWidget* Panel = TypePanel(Info->Type);
    const QString Name = Utf8(B.Name);
    switch (B.Kind) {
    case TBound::Check:
    case TBound::Choice:
        if (bool* Value = B.Bool(*FParams)) {
            *Value = Panel->findChild<QAbstractButton*>(Name)->isChecked();
        }
        break;
    case TBound::Text:
        if (std::string* Value = B.Str(*FParams)) {
            *Value = Trim(Panel->findChild<QLineEdit*>(Name)->text().toStdString());
        }
        break;
    case TBound::Quarters: {
        int* Start = B.Int(*FParams);
        int* Stop = B.Int2(*FParams);
        if (Start != nullptr && Stop != nullptr) {
            const int A = std::max(Panel->findChild<QComboBox*>(Name)->currentIndex(), 0);
            const int Z = std::max(Panel->findChild<QComboBox*>(Utf8(B.Name2))->currentIndex(), 0);
            *Start = std::min(A, Z);
            *Stop = std::max(A, Z);
        }
        break;
    }
    case TBound::Slice:
        if (int* Value = B.Int(*FParams)) {
            const auto* List = Panel->findChild<QComboBox*>(Name);
            *Value = List->currentIndex() >= 0 ? List->currentText().toInt() : 30;
        }
        break;
    case TBound::Staff:
    case TBound::Coeffs:
        for (int Day = 0; Day < 7; ++Day) {
            auto* Ed = Panel->findChild<QLineEdit*>(Utf8(B.Name + DayNames[Day]));
            const auto D = static_cast<size_t>(Day);
            bool Valid = false;
            if (B.Kind == TBound::Staff) {
                const int Value = Ed->text().trimmed().toInt(&Valid);
                if (TStaffCoeffs* Values = B.StaffValues(*FParams)) {
                    (*Values)[D] = Valid ? Value : 0;
                }
            } else {
                const double Value = QLocale().toDouble(Ed->text().trimmed(), &Valid);
                if (TWeekCoeffs* Values = B.CoeffValues(*FParams)) {
                    (*Values)[D] = Valid ? Value : 1.0;
                }
            }
            SetValidLook(Ed, Valid);
        }
        break;
    }
}

void TTarnoConfigItemDlg::OutDirEdited() {
    if (Loading) {
        return;
    }
    FParams->OutDir = Trim(EdOutDir->text().toStdString());
    if (auto* XlSoft = dynamic_cast<TConvParamsXlSoft*>(FParams.get())) {
        // The raw copies go beside the output directory.
        auto* EdRawOutdir = findChild<QLineEdit*>("EdRawOutdir");
        Loading = true;
        EdRawOutdir->setText(Utf8(ParentFolder(FParams->OutDir) + "XlSoftBrut"));
        Loading = false;
        XlSoft->RawOutDir = Trim(EdRawOutdir->text().toStdString());
    }
}
