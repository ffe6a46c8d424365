#pragma once

#include <memory>
#include <string>

// Where a conversion writes, for the window and the command line alike: a temporary file in the
// output's folder, renamed over the output only when the file is complete and checked. Until
// then an existing output stays as it was; a failed or abandoned conversion removes its
// temporary. A temporary whose process died (SIGKILL, a crash, power loss) is removed by the
// next conversion into that folder: a live owner holds a lock on it.
class OutputFile
{
public:
    // Why the output path cannot take a new file ("" when it can): only a regular file, or
    // nothing, may be there. Names what is there: a directory, a device, a pipe, a socket.
    static std::string Refusal(const std::string &target);

    // Makes the temporary for target (after removing stale temporaries in its folder). With
    // replace false an output that appears meanwhile is not replaced. Null with *error set when
    // the temporary cannot be made.
    static std::unique_ptr<OutputFile> Create(const std::string &target, bool replace,
                                              std::string *error);
    ~OutputFile(); // removes the temporary unless committed
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // The path the writer writes to.
    const std::string &TemporaryPath() const { return m_temporary; }
    // The path the file gets once committed (a link to a regular file is followed).
    const std::string &TargetPath() const { return m_target; }

    // Flushes the temporary to disk and renames it over the target. False with *error set (the
    // temporary is then removed and the target left as it was).
    bool Commit(std::string *error);
    // Starts writing the temporary's data to the disk without waiting, so that the check read
    // before Commit overlaps the disk's work instead of Commit waiting for all of it.
    void StartWriteback();
    // Removes the temporary; the target is left as it was.
    void Discard();
    bool Committed() const { return m_committed; }

    // Removes the temporaries in folder that no living process owns; returns how many.
    static int RemoveStaleTemporaries(const std::string &folder);
    // Whether a name in a folder is one of our temporaries.
    static bool IsTemporaryName(const std::string &name);

private:
    OutputFile() = default;
    std::string m_target;
    std::string m_temporary;
    int m_lock = -1; // open on the temporary, holding its lock while we live
    bool m_replace = false;
    bool m_committed = false;
    // The replaced file's permissions and owner, given to the new file as it takes its place
    // (a read-only file's given to the temporary at once would keep the writer out); -1 none.
    int m_keptMode = -1;
    int m_keptOwner = -1, m_keptGroup = -1;
};
