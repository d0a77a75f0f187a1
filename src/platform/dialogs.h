// Open and save dialogs over QFileDialog with the old properties. Tests
// answer a dialog through SetDialogScript instead of showing it.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;
class TFileDialog;

// When set, Execute() calls the script instead of showing a dialog. The
// script may set FileName / FilterIndex and returns true for OK.
using TDialogScript = std::function<bool(TFileDialog &dialog)>;
void SetDialogScript(TDialogScript script);
bool HasDialogScript();

class TFileDialog : public QObject {
    Q_OBJECT
public:
    enum Kind { Open, Save };
    TFileDialog(Kind kind, QObject *owner);
    ~TFileDialog() override;

    Kind DialogKind() const { return FKind; }

    // A chosen folder is kept without a trailing separator except the root.
    QString InitialDir() const { return FInitialDir; }
    void SetInitialDir(const QString &dir);
    QString FileName() const { return FFileName; }
    void SetFileName(const QString &name) { FFileName = name; }
    // "Jpeg File|*.jpg|Any File|*.*"
    QString Filter() const { return FFilter; }
    void SetFilter(const QString &filter) { FFilter = filter; }
    // Qt's form of Filter: "Jpeg File (*.jpg);;Any File (*)".
    QString QtFilter() const;
    int FilterIndex() const { return FFilterIndex; } // 1-based
    void SetFilterIndex(int index) { FFilterIndex = index; }
    QString DefaultExt() const { return FDefaultExt; }
    void SetDefaultExt(const QString &ext) { FDefaultExt = ext; }
    QString Title() const { return FTitle; }
    void SetTitle(const QString &title) { FTitle = title; }

    // Runs the dialog (or the script); true when the user chose a file.
    // On OK FileName holds the full path and FilterIndex the filter chosen;
    // a save name without extension gets DefaultExt when the filter says so.
    bool Execute(QWidget *parent = nullptr);

private:
    Kind FKind;
    QString FInitialDir;
    QString FFileName;
    QString FFilter;
    int FFilterIndex = 1;
    QString FDefaultExt;
    QString FTitle;
};

class TOpenDialog : public TFileDialog {
    Q_OBJECT
public:
    explicit TOpenDialog(QObject *owner) : TFileDialog(Open, owner) {}
};

class TSaveDialog : public TFileDialog {
    Q_OBJECT
public:
    explicit TSaveDialog(QObject *owner) : TFileDialog(Save, owner) {}
};

// Folder part of a path, without a trailing separator except the root
// ("/home/a/b.jpg" -> "/home/a", "/b.jpg" -> "/").
QString ExtractFileDir(const QString &path);
