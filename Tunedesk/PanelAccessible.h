// What screen readers see of the panel's own controls. Qt describes its
// standard widgets itself; two of ours need help:
//  - CGroupRadioButton turns Qt's auto-exclusivity off (a group may show no
//    choice), and Qt then reports any checkable button as a check box;
//  - CHListBox paints its lines itself, so Qt sees an empty scroll area.
// The factory registered here describes them as a radio button and as a list
// whose lines are its items.
#pragma once

class CHListBox;

// Registers the factory once; the controls call it when they are created.
void InstallPanelAccessibility();

// Tells a listening screen reader that `list`'s selected line changed (it reads
// the line) or that its lines changed (it asks for them again).
void NotifyListSelection(CHListBox* list);
void NotifyListReset(CHListBox* list);
