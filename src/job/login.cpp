#include "job/login.h"

#include "common/strings.h"

namespace job {

bool askYesNo(RepairJob &job, int stringId, int picture)
{
    const Answer answer = job.host.showMessage(
        Message { std::string(common::text(stringId)), picture, false, false });
    const bool yes = answer == Answer::Yes;
    job.flags.confirmAnswer = yes ? 1 : 0;
    return yes;
}

void runLoginDialog(RepairJob &job)
{
    const auto confirmAbandon = [&job] {
        if (askYesNo(job, common::str::kRunProcessQuestion, 1)) {
            return false; // Yes: the user still wants to run, the dialog stays open
        }
        job.flags.loginAllowed = 0;
        return true;
    };
    if (auto values = job.host.askLogin(confirmAbandon)) {
        job.login = std::move(*values);
    }
}

void obtainLogin(RepairJob &job, const RepairPhases &phases)
{
    if (auto own = phases.ownLogin()) {
        job.login = std::move(*own);
        return;
    }
    runLoginDialog(job);
}

bool connectToMySql(RepairJob &job, RepairPhases &phases)
{
    const bool ownLogin = phases.ownLogin().has_value();
    // Retrying by calling itself again would nest without limit; a loop gives the same sequence of
    // dialogs without growing the stack.
    for (;;) {
        if (job.flags.loginAllowed == 0) {
            return false;
        }
        const common::Status opened = phases.openConnection(job);
        if (opened.ok()) {
            job.sleepPause();
            job.connected = true;
            return true;
        }
        if (ownLogin) {
            // Nobody could type a better login for a server this program set up itself.
            job.addListRow(job.nextListRow++,
                "The workshop server refused its own login: " + opened.error().describe());
            return false;
        }
        if (!askYesNo(job, common::str::kInvalidLogin, 1)) {
            return false;
        }
        runLoginDialog(job);
    }
}

} // namespace job
