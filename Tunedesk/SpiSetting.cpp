#include "SpiSetting.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <locale.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Convert.h"
#include "SpiOptions.h"
#include "SpiSettingFile.h"
#include "SpiSettingLayout.h"
#include "StrFormat.h"
#include "UiHooks.h"

namespace {
using TableFn = int (*)(const std::u16string**);

void FillList(QComboBox* combo, TableFn table) {
    const std::u16string* entries = nullptr;
    const int count = table(&entries);
    for (int i = 0; i < count; ++i) combo->addItem(QString::fromStdU16String(entries[i]));
}

// An index outside the list leaves it with no selection.
void SelectIndex(QComboBox* combo, int index) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

QString Trimmed(const QLineEdit* edit) {
    // Same white space as the settings texts use: blanks, tabs, line ends.
    return edit->text().trimmed();
}

// The leading decimal number of `text` as a signed 32-bit value (0 when there
// is none), saturated instead of wrapping on overflow.
int LeadingInt(const QString& text) {
    long long value = 0;
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// True when `text` is exactly one decimal floating-point number, read in the
// "C" locale whatever the user's locale says about the decimal point.
bool IsWholeNumber(const QString& text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const QByteArray utf8 = text.toUtf8();
    const char* begin = utf8.constData();
    char* pEndPtr = nullptr;
    const double value = strtod_l(begin, &pEndPtr, cLocale);
    if (pEndPtr == begin || *pEndPtr != '\0') return false;
    // "inf" and "nan" parse as numbers but are no frequency.
    return std::isfinite(value);
}
}  // namespace

SpiSetting::SpiSetting(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Caption(kSpiSettingCaption));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(kSpiSettingFontPoints);
    setFont(font);
    // Fixed at the layout's size where the screen has room; on a smaller screen
    // (2x on a small laptop) the dialog may be smaller and its client area scrolls.
    auto* client = new QWidget(this);
    client->setFont(font);
    m_controls.Build(client, SpiSettingControls(), font);
    const QSize layoutSize = m_controls.MapDialogSize(kSpiSettingWidth, kSpiSettingHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PlaceInScrollArea(this, client, layoutSize));
    const QSize first = FirstWindowSize(this, layoutSize);
    setMaximumSize(layoutSize.expandedTo(first));
    resize(first);

    // Lists that share a row with another control's label: their names say
    // what they choose (the settings captions are the same in every language).
    for (const auto& [id, name] :
         {std::pair{IDC_SPI_CS1_POLARITY, "CS1 polarity"}, std::pair{IDC_SPI_CS2_POLARITY, "CS2 polarity"},
          std::pair{IDC_SPI_FREQ_UNIT, "SpiFrequency, unit"}, std::pair{IDC_SPI_CS_ACTIVE, "EnableCS, state"}}) {
        GetDlgItem(id)->setAccessibleName(QString::fromUtf8(name));
    }

    connect(Item<QPushButton>(IDC_SPI_OK), &QPushButton::clicked, this, &SpiSetting::OnOK);
    connect(Item<QPushButton>(IDC_SPI_CANCEL), &QPushButton::clicked, this, &SpiSetting::OnCancel);
    OnInitDialog();
}

void SpiSetting::OnInitDialog() {
    auto list = [this](int id) { return Item<QComboBox>(id); };
    auto setNumber = [this](int id, int value) {
        Item<QLineEdit>(id)->setText(QString::fromStdU16String(StrFormat(u"%d", value)));
    };

    FillList(list(IDC_SPI_MODE), GetSpiModeArray);
    SelectIndex(list(IDC_SPI_MODE), LoadSpiMode());
    FillList(list(IDC_SPI_CLOCK), GetSpiClockArray);
    SelectIndex(list(IDC_SPI_CLOCK), LoadSpiClock());
    FillList(list(IDC_SPI_BYTE_ORDER), GetSpiByteOrderArray);
    SelectIndex(list(IDC_SPI_BYTE_ORDER), LoadByteOrder());
    FillList(list(IDC_SPI_CS1_POLARITY), GetSpiCS1PolarArray);
    SelectIndex(list(IDC_SPI_CS1_POLARITY), LoadCS1Polarity());
    FillList(list(IDC_SPI_CS2_POLARITY), GetSpiCS2PolarArray);
    SelectIndex(list(IDC_SPI_CS2_POLARITY), LoadCS2Polarity());
    setNumber(IDC_SPI_INOUT_INTERVAL, LoadInOutInterval());

    FillList(list(IDC_SPI_FREQ_UNIT), GetSpiFreqUnitArray);
    if (LoadFreqEnable() != 0) {
        Item<QCheckBox>(IDC_SPI_FREQ_ENABLE)->setChecked(true);
        Item<QLineEdit>(IDC_SPI_FREQUENCY)->setText(QString::fromStdU16String(LoadFrequency()));
        SelectIndex(list(IDC_SPI_FREQ_UNIT), LoadFreqUnit());
    } else {
        Item<QCheckBox>(IDC_SPI_FREQ_ENABLE)->setChecked(false);
        Item<QLineEdit>(IDC_SPI_FREQUENCY)->clear();
        SelectIndex(list(IDC_SPI_FREQ_UNIT), 0);
    }

    FillList(list(IDC_SPI_DATA_BITS), GetSpiDataBitsArray);
    SelectIndex(list(IDC_SPI_DATA_BITS), LoadDataBits());

    FillList(list(IDC_SPI_CS_CHIP), GetSpiCSArray);
    FillList(list(IDC_SPI_CS_ACTIVE), GetSpiCSActiveArray);
    if (LoadCSEnable() != 0) {
        Item<QCheckBox>(IDC_SPI_CS_ENABLE)->setChecked(true);
        SelectIndex(list(IDC_SPI_CS_CHIP), LoadCSChipIndex());
        SelectIndex(list(IDC_SPI_CS_ACTIVE), LoadCSActive());
    } else {
        Item<QCheckBox>(IDC_SPI_CS_ENABLE)->setChecked(false);
        SelectIndex(list(IDC_SPI_CS_CHIP), -1);
        SelectIndex(list(IDC_SPI_CS_ACTIVE), -1);
    }

    setNumber(IDC_SPI_ACTIVE_DELAY, LoadActiveRwDelay());
    setNumber(IDC_SPI_DEACTIVE_DELAY, LoadDeactiveRwDelay());
}

void SpiSetting::OnOK() {
    auto sel = [this](int id) { return Item<QComboBox>(id)->currentIndex(); };

    const int mode = sel(IDC_SPI_MODE);
    const int clock = sel(IDC_SPI_CLOCK);
    const int byteOrder = sel(IDC_SPI_BYTE_ORDER);
    const int cs1Polarity = sel(IDC_SPI_CS1_POLARITY);
    const int cs2Polarity = sel(IDC_SPI_CS2_POLARITY);

    const QString interval = Trimmed(Item<QLineEdit>(IDC_SPI_INOUT_INTERVAL));
    if (interval.isEmpty()) return;  // nothing to save without an interval; no message
    const int nSpiInOutInterval = LeadingInt(interval);

    const bool freqEnable = Item<QCheckBox>(IDC_SPI_FREQ_ENABLE)->isChecked();
    QString frequency;
    int freqUnit = -1;
    if (freqEnable) {
        frequency = Trimmed(Item<QLineEdit>(IDC_SPI_FREQUENCY));
        if (frequency.isEmpty()) {
            MessageBox(this, QT_TRANSLATE_NOOP("Message", "The frequency setting cannot be empty!"));
            return;
        }
        if (!IsWholeNumber(frequency)) {
            MessageBox(this,
                       QT_TRANSLATE_NOOP("Message",
                                         "The frequency setting is illegal, it may contain non numeric characters!"));
            return;
        }
        freqUnit = sel(IDC_SPI_FREQ_UNIT);
    }

    const int dataBits = sel(IDC_SPI_DATA_BITS);

    const bool csEnable = Item<QCheckBox>(IDC_SPI_CS_ENABLE)->isChecked();
    int csChip = -1;
    int csActive = -1;
    if (csEnable) {
        csChip = sel(IDC_SPI_CS_CHIP);
        csActive = sel(IDC_SPI_CS_ACTIVE);
    }

    const QString activeDelay = Trimmed(Item<QLineEdit>(IDC_SPI_ACTIVE_DELAY));
    if (activeDelay.isEmpty()) {
        MessageBox(this, QT_TRANSLATE_NOOP("Message", "The Active RW Delay setting cannot be empty!"));
        return;
    }
    const QString deactiveDelay = Trimmed(Item<QLineEdit>(IDC_SPI_DEACTIVE_DELAY));
    if (deactiveDelay.isEmpty()) {
        MessageBox(this, QT_TRANSLATE_NOOP("Message", "The Deactive RW Delay setting cannot be empty!"));
        return;
    }

    // The save order is the file's key order; stop at the first key that did not
    // reach the file so the user is told instead of the dialog closing as saved.
    bool saved = SaveSpiMode(mode) && SaveSpiClock(clock) && SaveByteOrder(byteOrder) && SaveCS1Polarity(cs1Polarity) &&
                 SaveCS2Polarity(cs2Polarity) && SaveInOutInterval(nSpiInOutInterval) &&
                 SaveFreqEnable(freqEnable ? 1 : 0);
    if (saved && freqEnable) saved = SaveFrequency(frequency.toStdU16String()) && SaveFreqUnit(freqUnit);
    saved = saved && SaveDataBits(dataBits) && SaveCSEnable(csEnable ? 1 : 0);
    if (saved && csEnable) saved = SaveCSChipIndex(csChip) && SaveCSActive(csActive);
    saved = saved && SaveActiveRwDelay(LeadingInt(activeDelay)) && SaveDeactiveRwDelay(LeadingInt(deactiveDelay));
    if (!saved) {
        MessageBox(this, StrFormat(u"Failed to save the SPI settings to %s!", GetIniFilePath().c_str()));
        return;
    }
    accept();
}

void SpiSetting::OnCancel() { reject(); }

void SpiSetting::keyPressEvent(QKeyEvent* event) {
    // Enter is OK (validated), Escape is Cancel, as in any dialog.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && button != Item<QPushButton>(IDC_SPI_OK)) {
            button->click();
        } else {
            OnOK();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
