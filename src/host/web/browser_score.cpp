#include "host/web/browser_score.h"

#include "score/score.h"

namespace {

std::int16_t samples[browser_score_piece * 2];

}  // namespace

const std::int16_t* browser_score_next(std::uint32_t frames)
{
    score_render(samples, frames < browser_score_piece ? frames : browser_score_piece);
    return samples;
}
