#pragma once

// One visitor made of several lambdas, for std::visit over a variant's alternatives.
template<class... Visitors> struct Overloaded : Visitors...
{
    using Visitors::operator()...;
};
// Spelled out for clang, which does not yet deduce aggregate template arguments.
template<class... Visitors> Overloaded(Visitors...) -> Overloaded<Visitors...>;
