// What the window's file dialogs need beyond QFileDialog: a name box that starts empty, and a
// completion list that goes with the dialog.
#pragma once

class QFileDialog;

namespace mtsrescue {

// The toolkit's own dialog names types and dates as the file list does (in Chinese).
void UseChineseFileTexts(QFileDialog& dialog);

// Empties the file name box and the selection of the toolkit's own dialog, which keeps both from
// its last use (selectFile with an empty name changes nothing). The folder shown stays.
void ClearFileName(QFileDialog& dialog);

// Hides the name box's completion list when the dialog closes, and keeps it hidden while the
// dialog is: the list reopens by itself once the folder it waited for is read, and a list left on
// screen takes the next click meant for the window underneath.
void CloseCompletionWithDialog(QFileDialog& dialog);

}  // namespace mtsrescue
