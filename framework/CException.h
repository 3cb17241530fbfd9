// The root of the framework's exception family. Exceptions are allocated with new, thrown by
// pointer and released by whoever catches them: `catch (CException* e) { e->Delete(); }`.
#pragma once

class CException {
public:
    CException() = default;
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;
    virtual ~CException() = default;

    // Frees an exception that was caught by pointer; the pointer is dangling afterwards.
    void Delete() { delete this; }
};
