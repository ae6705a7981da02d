#pragma once

// A unit of work for an xWorkerPool. The pool holds the pointer until the task
// has completed and never deletes it; OnComplete may dispose of the task.
class xTask
{
public:
    virtual ~xTask() = default;
    // Called on the main thread by xBackgroundWork::DispatchCompleted, after Execute.
    virtual void OnComplete() {}
    // Called on a worker thread.
    virtual void Execute() = 0;
};
