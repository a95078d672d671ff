#pragma once
// The four moving buttons over a data source: first, prior, next, last.
// Each is enabled while its move could go somewhere.

#include <QWidget>

#include "dbDataSource.h"

class QToolButton;
class TDBNavigator;

class TNavDataLink : public TDataLink {
public:
  explicit TNavDataLink(TDBNavigator& navigator) : navigator(navigator) {}

protected:
  void ActiveChanged() override;
  void DataSetChanged() override;

private:
  TDBNavigator& navigator;
};

class TDBNavigator : public QWidget {
public:
  explicit TDBNavigator(QWidget* parent = nullptr);
  ~TDBNavigator() override;

  void SetDataSource(TDataSource* source);
  void UpdateButtons();

  QToolButton* First;
  QToolButton* Prior;
  QToolButton* Next;
  QToolButton* Last;

private:
  TNavDataLink link{*this};
};
