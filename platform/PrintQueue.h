#pragma once
// Hands a finished page file to a print queue of the system's scheduler and
// says what became of the job: a queue that refuses jobs (stopped, rejecting,
// gone) answers with its reason instead of swallowing the page.
#include <QString>

namespace zk {

struct TPrintJobResult
{
    int JobId = 0;  // the scheduler's job number; 0 when there is no job
    QString Error;  // the scheduler's reason when there is none
};

TPrintJobResult SubmitPrintJob(const QString &queue, const QString &file, const QString &title);

} // namespace zk
