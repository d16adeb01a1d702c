#include "bperp/stack/outputs/choice_output.h"

#include "bperp/stack/inputs/acquisition.h"

namespace bperp::stack {

void choices_json(JsonWriter& json, const RunChoices& choices) {
  if (const ReferenceChoice* r = choices.reference) {
    json.key("reference_choice");
    json.begin_object();
    json.key("criterion");
    json.string(criterion_name(r->used));
    json.key("asked");
    json.string(criterion_name(r->asked));
    json.key("geometry");
    json.string(r->geometry);
    json.key("scores");
    json.begin_array();
    for (const ReferenceChoice::Candidate& c : r->scores) {
      json.begin_object();
      json.key("name");
      json.string(c.name);
      json.key("date");
      if (c.day) json.string(day_text(c.day));
      else json.null();
      json.key("score");
      json.number(c.score);
      json.end_object();
    }
    json.end_array();
    json.end_object();
  }
  if (const std::vector<FilteredAcquisition>* filtered = choices.filtered) {
    json.key("filtered");
    json.begin_array();
    for (const FilteredAcquisition& f : *filtered) {
      json.begin_object();
      json.key("name");
      json.string(f.name);
      json.key("date");
      json.string(day_text(f.day));
      json.key("filter");
      json.string(f.filter);
      json.end_object();
    }
    json.end_array();
  }
}

}  // namespace bperp::stack
