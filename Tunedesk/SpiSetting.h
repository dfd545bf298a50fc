// The SPI settings dialog: shows the stored SPI link settings and, on OK,
// validates the entries and writes them back to the settings file one key at a
// time. It never touches the device; the values take effect at the next open
// or SPI initialisation (and, for the keys the transaction layer reads itself,
// at the next transaction).
#pragma once

#include <QDialog>

#include "ControlTable.h"

class SpiSetting : public QDialog {
    Q_OBJECT
public:
    explicit SpiSetting(QWidget* parent = nullptr);

    QWidget* GetDlgItem(int id) const { return m_controls.GetDlgItem(id); }
    template <class T>
    T* Item(int id) const {
        return m_controls.Item<T>(id);
    }

    // Fills the controls from the settings file (also done on construction).
    void OnInitDialog();
    // Validates and saves; closes the dialog only when everything was saved.
    void OnOK();
    void OnCancel();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    ControlTable m_controls;
};
