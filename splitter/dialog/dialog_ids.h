// Identifiers of the main dialog's resources and controls. The UI tests use
// them too, to find each control from outside the process.
#ifndef VELMORA_DIALOG_IDS_H
#define VELMORA_DIALOG_IDS_H

#define IDD_MAIN_DIALOG 100
#define IDB_BANNER 101

#define IDC_IMAGE1 1001
#define IDC_PANEL1 1002
#define IDC_LABEL1 1003
#define IDC_FILE_EDIT 1004
#define IDC_LABEL2 1005
#define IDC_DIR_EDIT 1006
#define IDC_LABEL3 1007
#define IDC_SECTION_EDIT 1008
#define IDC_CHECKBOX1 1009
#define IDC_CHECKBOX2 1010
#define IDC_CHECKBOX3 1011
#define IDC_LABEL4 1012
#define IDC_BUTTON1 1013  // Split
#define IDC_BUTTON3 1014  // Break
#define IDC_BUTTON2 1015  // Close
// Shown only while a split runs, in the panel's free space below Label4.
#define IDC_PROGRESS 1016       // the share of the payload written
#define IDC_PROGRESS_TEXT 1017  // "Compressing" or the piece being written

// Children of the edits: the browse buttons (inside file_edit and dir_edit)
// and the spin buttons (inside section_edit).
#define IDC_EDIT_BROWSE 1020
#define IDC_EDIT_SPIN 1021

#endif  // VELMORA_DIALOG_IDS_H
