#pragma once

#include <QFile>
#include <QString>

namespace tarvek {

// The outcome of an operation on a file: success, or the reason it failed, in
// words an operator can act on ("<path>: No space left on device").
struct FileOutcome {
    bool ok = true;
    QString message;

    static FileOutcome Failure(const QString& message) { return {false, message}; }
    explicit operator bool() const { return ok; }
};

// A file of fixed-length Latin-1 records numbered from 1 (record r at byte
// length * (r - 1)); unencodable characters become "?" so every record keeps
// its length. Reads past the end give blanks; writing past the end fills the
// gap with blank records ending "*" CR LF, so the file stays text without NULs.
class RecordFile {
  public:
    explicit RecordFile(int recordLength) : length_(recordLength) {}
    ~RecordFile() { Close(); }
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // What the caller means to do with the file.
    enum class Access {
        Read,  // read-write when allowed, read-only when writing is refused
        Write, // read-write, or a failure
    };
    // Opens the file, creating it empty (mode 0664) when missing; a symbolic
    // link, a FIFO or anything but a regular file with one link is refused
    // with the reason. A created file has its entry synced into its folder,
    // so it survives a power cut.
    FileOutcome Open(const QString& path, Access access = Access::Write);
    void Close();
    bool IsOpen() const { return file_.isOpen(); }

    // Size of the file in bytes.
    qint64 Size() const { return file_.size(); }

    // Record r as exactly `length` characters (blanks where the file has none).
    // A read error leaves `error` set and gives blanks.
    QString Read(qint64 record, FileOutcome* error = nullptr);
    // Writes `text` fitted to the record length (blank-padded or cut) as
    // record r, and flushes it to the operating system.
    FileOutcome Write(qint64 record, const QString& text);
    // Completes a short last record with blanks ending in "*", CR, LF, the
    // filler of the gaps above, keeping the bytes it has; a failure leaves the
    // file as it was. Nothing to do when the file holds whole records only.
    FileOutcome CompleteLastRecord();
    // Waits until what was written has reached the disk (fdatasync), so that
    // it survives a power cut; only then may the caller rely on it.
    FileOutcome Sync();

    const QString& Path() const { return path_; }

  private:
    FileOutcome Fail(const QString& what, const QString& reason) const;
    FileOutcome Fail(const QString& what) const { return Fail(what, file_.errorString()); }
    QByteArray BlankRecord() const;

    int length_;
    QString path_; // for messages: a file opened on a descriptor has no name
    QFile file_;
};

// Writes a failure's reason to stderr, where an operator or a log collector
// finds it; does nothing for a success. Returns the outcome unchanged.
const FileOutcome& ReportFailure(const FileOutcome& outcome);

// Creates a folder (and its parents) when missing, and syncs its entry into
// the folder above, so that it survives a power cut.
FileOutcome EnsureFolder(const QString& path);

// Syncs a folder, so that an entry just made in it (a file or folder)
// survives a power cut along with what was written into that entry.
FileOutcome SyncedFolder(const QString& folder);

// Writes all of `bytes`. A short write (disk full) is retried for the rest, so
// that a failing call leaves its reason in the device's errorString().
bool WriteAll(QIODevice& device, const QByteArray& bytes);

} // namespace tarvek
