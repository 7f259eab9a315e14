// Identifiers of the module's dialog templates, their controls and the arrow bitmaps, all of
// which the host keeps among its resources.
// Threads: reentrant (constants).
#pragma once

#include "common/WinTypes.h"

// ---- Dialog templates ----

inline constexpr UINT IDD_KESTRIX_ACQUIRE = 2847;  // the reference acquisition dialog
inline constexpr UINT IDD_KESTRIX_RUN = 2848;      // the registration run dialog
inline constexpr UINT IDD_KESTRIX_SETUP = 2858;    // the camera setup page

// ---- Arrow bitmaps of the acquire dialog's grow buttons, named by where they point ----

inline constexpr UINT IDB_KX_ARROW_UP_LEFT = 2849;
inline constexpr UINT IDB_KX_ARROW_RIGHT = 2850;
inline constexpr UINT IDB_KX_ARROW_LEFT = 2851;
inline constexpr UINT IDB_KX_ARROW_DOWN = 2852;
inline constexpr UINT IDB_KX_ARROW_UP = 2853;
inline constexpr UINT IDB_KX_ARROW_DOWN_LEFT = 2854;
inline constexpr UINT IDB_KX_ARROW_DOWN_RIGHT = 2855;
inline constexpr UINT IDB_KX_ARROW_UP_RIGHT = 2856;

// ---- Controls of the run dialog ----

inline constexpr int IDC_KX_LIVE = 9629;  // live camera view; the setup page's as well
inline constexpr int IDC_KX_PREVIEW = 9690;
inline constexpr int IDC_KX_ROLL = 9631;  // first of the Roll/Sheet radio group
inline constexpr int IDC_KX_SHEET = 9633;
inline constexpr int IDC_KX_COPIES_X = 9641;
inline constexpr int IDC_KX_COPIES_Y = 9639;
inline constexpr int IDC_KX_STEP_X = 355;
inline constexpr int IDC_KX_STEP_Y = 356;
inline constexpr int IDC_KX_STATUS = 9673;
inline constexpr int IDC_KX_START = 9642;
inline constexpr int IDC_KX_STOP = 9655;  // Stop during a run, Close otherwise

// ---- Controls of the setup page (besides IDC_KX_LIVE, IDOK and IDCANCEL) ----

inline constexpr int IDC_KX_AUTO_WHITE_BALANCE = 9666;
inline constexpr int IDC_KX_GAMMA_MODE = 9692;
inline constexpr int IDC_KX_GAIN = 9663;
inline constexpr int IDC_KX_SHARP = 9665;
inline constexpr int IDC_KX_GAMMA = 9664;
inline constexpr int IDC_KX_ALC_MODE = 9662;
inline constexpr int IDC_KX_SCALE = 9659;
inline constexpr int IDC_KX_X_OFFSET = 9660;
inline constexpr int IDC_KX_Y_OFFSET = 9661;
inline constexpr int IDC_KX_CALIBRATE = 9667;

// ---- Controls of the acquire dialog (besides IDOK and IDCANCEL) ----

inline constexpr int IDC_KX_ACQUIRE_LIVE = 9632;
inline constexpr int IDC_KX_MONTAGE = 9630;
inline constexpr int IDC_KX_MESSAGE = 9656;
// The grow buttons: the grid grows towards T(op)/B(ottom) and L(eft)/R(ight), C for neither.
inline constexpr int IDC_KX_ORIGIN_TL = 9646;
inline constexpr int IDC_KX_ORIGIN_TC = 9647;
inline constexpr int IDC_KX_ORIGIN_TR = 9648;
inline constexpr int IDC_KX_ORIGIN_CL = 9649;
inline constexpr int IDC_KX_ORIGIN_CR = 9651;
inline constexpr int IDC_KX_ORIGIN_BL = 9652;
inline constexpr int IDC_KX_ORIGIN_BC = 9653;
inline constexpr int IDC_KX_ORIGIN_BR = 9654;
inline constexpr int IDC_KX_ZET_START = 9634;  // marks the start corner of the grid
inline constexpr int IDC_KX_ZET_END = 9636;    // marks the end corner
