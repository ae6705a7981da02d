#pragma once

// The work an xThread runs. Init runs first on the new thread; Start reports
// failure when it returns false, and Run is then never called.
class xRunnable
{
public:
    virtual ~xRunnable() = default;
    virtual bool Init() { return true; }
    // The result becomes the thread's exit code.
    virtual int Run() { return 0; }
    // Called by xThread::Stop on the stopping thread; asks Run to finish.
    virtual void Stop() {}
    // Called on the thread after Run has returned.
    virtual void Exit() {}
};
