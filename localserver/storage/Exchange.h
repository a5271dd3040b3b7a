#pragma once

#include <string>

// One question of a user and the model's answer to it, kept so that the next request can carry
// the conversation so far. Kept and dropped whole: a model's chat template may require turns that
// alternate between the user and the assistant.
struct Exchange
{
    std::string question;
    std::string answer;
};
