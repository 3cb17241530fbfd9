#include "framework/ModalAutomation.h"

#include <utility>

namespace {
// Modal windows belong to the GUI thread, and so do their answers: no locking needed.
ModalAnswers g_answers;
}  // namespace

ModalAnswers AfxSetModalAnswers(ModalAnswers answers) {
    return std::exchange(g_answers, std::move(answers));
}

const ModalAnswers& AfxGetModalAnswers() {
    return g_answers;
}
