#pragma once

// The resource pack's place among the launcher's resources (type "RESPACK").
// Plain defines: the resource compiler reads this header too.
#define RESPACK_RESOURCE_ID 101
