CREATE TABLE `objectrelation` (
  `objectid` int(10) unsigned NOT NULL DEFAULT 0,
  `parentobjectid` int(10) unsigned NOT NULL DEFAULT 0,
  `relationtype` tinyint(3) unsigned NOT NULL,
  PRIMARY KEY (`objectid`,`parentobjectid`,`relationtype`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
