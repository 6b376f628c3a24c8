/* Ids of the dialog templates, their controls and the hand cursor, shared by the
   resource script and the dialog code (so plain C preprocessor lines only). */
#pragma once

#define IDD_ABOUT 100
#define IDC_ABOUT_NAME 101
#define IDC_ABOUT_VERSION 102
#define IDC_ABOUT_CREDIT_SECOND 103
#define IDC_ABOUT_CREDIT_FIRST 104
#define IDC_ABOUT_OK 105
#define IDC_ABOUT_LINK 106
#define IDC_ABOUT_AUTHOR 150
#define IDR_HAND_CURSOR 102

#define IDD_EDITOR 200
#define IDC_EDITOR_HEADING 201
#define IDC_EDITOR_EXTERNAL 204
#define IDC_EDITOR_OK 205
#define IDC_EDITOR_FIND 206
#define IDC_EDITOR_TEST 207
#define IDC_EDITOR_TEXT 208
#define IDC_EDITOR_CONTINUE 209

#define IDC_FIELD_LABEL 301

#define IDD_FIND 400
#define IDC_FIND_TEXT 401
#define IDC_FIND_FIND 402
#define IDC_FIND_CANCEL 403

#define IDD_PATTERN_TEST 500
#define IDC_TEST_STRING 501
#define IDC_TEST_PATTERN_LABEL 502
#define IDC_TEST_PATTERN 503
#define IDC_TEST_EXIT 504
#define IDC_TEST_TEST 505
