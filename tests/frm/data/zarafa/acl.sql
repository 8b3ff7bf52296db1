CREATE TABLE `acl` (
  `id` int(11) NOT NULL DEFAULT 0,
  `hierarchy_id` int(10) unsigned NOT NULL DEFAULT 0,
  `type` tinyint(3) unsigned NOT NULL DEFAULT 0,
  `rights` int(10) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY (`hierarchy_id`,`id`,`type`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
