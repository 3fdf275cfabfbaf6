// The operator's hands on Windows (tests/windows/WindowOperator.cpp).
#pragma once

// Starts the thread that shows this process's dialogs and message boxes to
// the current operator and does its answers with window messages.
void StartWindowOperator();
