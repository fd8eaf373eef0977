/* The resource ids of framework_test.exe, read by framework_test.rc and the
   tests. */
#pragma once

#define IDD_TEST_DIALOG 100
#define IDC_TEST_BUTTON 1001
#define IDC_TEST_LABEL 1002
