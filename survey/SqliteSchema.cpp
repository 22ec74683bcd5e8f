#include "SqliteSchema.h"

namespace Core::GEOCOM::survey {

// Times are microseconds since 1970-01-01 UTC; a NULL real is a value not
// measured.
const std::vector<std::string_view>& SqliteMigrations() {
  static const std::vector<std::string_view> migrations = {
      R"sql(
CREATE TABLE targets (
  id TEXT PRIMARY KEY,
  hz REAL, v REAL,
  easting REAL, northing REAL, height REAL,
  prism_constant REAL NOT NULL,
  faces INTEGER NOT NULL,
  face_tolerance REAL NOT NULL,
  set_angle_tolerance REAL NOT NULL,
  set_distance_tolerance REAL NOT NULL
);
CREATE TABLE rounds (
  id INTEGER PRIMARY KEY,
  job TEXT NOT NULL,
  instrument TEXT NOT NULL,
  started INTEGER NOT NULL,
  finished INTEGER,
  status TEXT NOT NULL CHECK (status IN ('complete', 'incomplete'))
);
CREATE TABLE results (
  id INTEGER PRIMARY KEY,
  round INTEGER NOT NULL REFERENCES rounds (id),
  target TEXT NOT NULL,
  started INTEGER NOT NULL,
  time INTEGER NOT NULL,
  outcome TEXT NOT NULL,
  return_code INTEGER NOT NULL,
  message TEXT NOT NULL,
  faces INTEGER NOT NULL,
  sets INTEGER NOT NULL,
  hz REAL, v REAL, distance REAL,
  collimation REAL, vertical_index REAL,
  hz_spread REAL, v_spread REAL, distance_spread REAL,
  flagged_sets TEXT NOT NULL,
  easting REAL, northing REAL, height REAL,
  UNIQUE (round, target)
);
CREATE INDEX results_by_time ON results (time, round);
CREATE INDEX results_by_target ON results (target, time, round);
CREATE TABLE observations (
  result INTEGER NOT NULL REFERENCES results (id),
  seq INTEGER NOT NULL,
  set_number INTEGER NOT NULL,
  face INTEGER NOT NULL,
  time INTEGER NOT NULL,
  hz REAL, v REAL, distance REAL,
  return_code INTEGER NOT NULL,
  PRIMARY KEY (result, seq)
) WITHOUT ROWID;
)sql",
      // Events raised by limits: level changes of a target.
      R"sql(
CREATE TABLE events (
  id INTEGER PRIMARY KEY,
  round INTEGER NOT NULL REFERENCES rounds (id),
  target TEXT NOT NULL,
  time INTEGER NOT NULL,
  level TEXT NOT NULL CHECK (level IN ('warning', 'alarm', 'clear')),
  component TEXT NOT NULL,
  value REAL NOT NULL,
  limit_value REAL NOT NULL
);
CREATE INDEX events_by_time ON events (time, id);
)sql",
  };
  return migrations;
}

}  // namespace Core::GEOCOM::survey
