#pragma once
// The class library's abstract string list: storage is left to subclasses
// (TStringList, and controls that show lines); text forms, name=value
// pairs, streaming and update brackets are common to all.

#include <string>

#include "rtlClasses.h"

class TStream;

class TStrings : public TPersistent {
  RTL_DECLARE_CLASS(TStrings, TPersistent)

  char Delimiter = ',';
  char QuoteChar = '"';
  char NameValueSeparator = '=';

  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;
  virtual ~TStrings() = default;

  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  // Each line may point at an object it does not own (nullptr: none).
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* object);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string& s);
  virtual int IndexOf(const std::string& s) const;
  virtual void Exchange(int index1, int index2);

  std::string operator[](int index) const { return Get(index); }
  int AddObject(const std::string& s, TObject* object);
  void InsertObject(int index, const std::string& s, TObject* object);
  int IndexOfObject(const TObject* object) const;
  void Move(int curIndex, int newIndex);
  void AddStrings(const TStrings& strings);
  using TPersistent::Assign;
  void Assign(const TStrings& strings);
  // Streams the lines as the list property "Strings".
  void DefineProperties(TFiler& filer) override;

  // "name=value" entries. Names compare as CompareStrings does.
  std::string Names(int index) const;
  int IndexOfName(const std::string& name) const;
  std::string Values(const std::string& name) const;
  // An empty value deletes the entry.
  void SetValue(const std::string& name, const std::string& value);

  // Every line followed by CR LF. Reading splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& text);
  // Items joined by Delimiter, quoted with QuoteChar when they are empty or
  // contain blanks, the delimiter or the quote. Reading also splits at
  // blanks outside quotes.
  std::string DelimitedText() const;
  void SetDelimitedText(const std::string& text);
  std::string CommaText() const;
  void SetCommaText(const std::string& text);

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

  // Changes between the two raise one change notification at the end.
  void BeginUpdate();
  void EndUpdate();

protected:
  void AssignTo(TPersistent* dest) const override;
  int UpdateCount() const { return updateCount; }
  virtual void SetUpdateState(bool updating) {}
  // ASCII case-insensitive unless a subclass says otherwise.
  virtual int CompareStrings(const std::string& s1, const std::string& s2) const;
  [[noreturn]] void Error(const char* message, int index) const;

private:
  int updateCount = 0;

  std::string JoinDelimited(char delimiter, char quoteChar) const;
  void SplitDelimited(const std::string& text, char delimiter, char quoteChar);
};
