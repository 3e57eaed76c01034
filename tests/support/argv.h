// An argument vector for readOptions: the program name, then args.
#pragma once

#include <string>
#include <vector>

struct Argv {
    std::vector<std::string> strings;
    std::vector<char*> pointers;

    explicit Argv(const std::vector<std::string>& args) : strings(args)
    {
        strings.insert(strings.begin(), "brevindor");
        for (std::string& s : strings) {
            pointers.push_back(&s[0]);
        }
    }
    int argc() const
    {
        return (int)pointers.size();
    }
    char** argv()
    {
        return pointers.data();
    }
};
