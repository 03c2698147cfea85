#pragma once
// Precompiled for the widget test programs: the test headers and the Qt classes most of their
// files use (not Qt's umbrella headers, which cost more to precompile than they save).

#include "test_pch.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
