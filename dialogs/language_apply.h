// Applying English/Japanese text pairs to controls: each control first takes the font of the
// language, then its text; a list keeps its selected item while its item texts are replaced.
#pragma once

#include <QString>
#include <functional>
#include <initializer_list>
#include <span>

#include "dialogs/language.h"

class QAbstractButton;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QTabWidget;
class QWidget;

namespace krt6 {

// Shows a text to the operator (a message box in the program, a recorder in tests).
using MessageDisplay = std::function<void(const QString& text)>;

// The control's font with the family that draws `language`; size and style stay.
void SetLanguageFont(QWidget* control, Language language);

// The window's font first, then its caption.
void SetWindowCaption(QWidget* window, const TextPair& pair, Language language);
void SetCaption(QLabel* label, const TextPair& pair, Language language);
void SetCaption(QAbstractButton* button, const TextPair& pair, Language language);
void SetCaption(QGroupBox* group, const TextPair& pair, Language language);
void SetPageCaption(QTabWidget* pages, QWidget* page, const TextPair& pair, Language language);

// Menu entries take no font of their own.
void SetMenuCaption(QMenu* menu, const TextPair& pair, Language language);
void SetMenuCaption(QAction* action, const TextPair& pair, Language language);

// Replaces the texts of the items at `first`, `first` + 1, ... from the pairs, leaves the other
// items and the number of items alone, and selects the item that was selected before. An
// editable list that shows a typed text matching none of its items keeps that text.
void SetItems(QComboBox* list, std::span<const TextPair> pairs, Language language, int first = 0);
inline void SetItems(QComboBox* list, std::initializer_list<TextPair> pairs, Language language,
                     int first = 0) {
  SetItems(list, std::span<const TextPair>(pairs.begin(), pairs.size()), language, first);
}

}  // namespace krt6
