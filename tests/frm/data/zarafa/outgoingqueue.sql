CREATE TABLE `outgoingqueue` (
  `store_id` int(10) unsigned NOT NULL DEFAULT 0,
  `hierarchy_id` int(10) unsigned NOT NULL DEFAULT 0,
  `flags` tinyint(3) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY (`hierarchy_id`,`flags`,`store_id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
