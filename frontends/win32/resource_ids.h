/* Resource and control ids of the Windows program, shared by the resource
   script and the C++ code (plain macros: the resource compiler reads this
   file too). The control ids are those of views.h. */
#ifndef USBISP_RESOURCE_IDS_H
#define USBISP_RESOURCE_IDS_H

#define IDD_MAIN_WINDOW 102
#define IDI_APPLICATION_ICON 128
#define IDD_STATUS_WINDOW 131

/* Main window. */
#define IDC_WIN9XISP 3
#define IDC_WIN9XVER 4
#define IDC_GETINFO 5
#define IDC_CLOSE 8
#define IDC_USERISPINFO 1010
#define IDC_REPORT 1021
#define IDC_NAME_LABEL 1023
#define IDC_DEVICE_NAME 1024
#define IDC_DRIVER_LIST 1027
#define IDC_DRIVER_LABEL 1028
#define IDC_DEVICE_LABEL 1029
#define IDC_DEVICE_LIST 1030
#define IDC_ISP_ENA 1031
#define IDC_ISP_MS_FW 1032
#define IDC_SELF_DRIVER_SEL 1035

/* Status window. */
#define IDC_STATUS_CAPTION 1014
#define IDC_STATUS_BAR_PLACE 1015
#define IDC_STATUS_TEXT 1019
#define IDC_STATUS_BAR 333

#endif
