#pragma once
/// The wait cursor for the length of a long operation (loading, saving, showing a side): shown by the
/// constructor, ended by the destructor on every way out. Nests.

class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    /// How many wait cursors are showing now.
    static int GetDepth();
};
