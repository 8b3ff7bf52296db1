CREATE TABLE `changes` (
  `id` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `sourcekey` varbinary(64) NOT NULL,
  `parentsourcekey` varbinary(64) NOT NULL,
  `change_type` int(10) unsigned NOT NULL DEFAULT 0,
  `flags` int(10) unsigned DEFAULT NULL,
  `sourcesync` int(10) unsigned DEFAULT NULL,
  PRIMARY KEY (`parentsourcekey`,`sourcekey`,`change_type`),
  UNIQUE KEY `changeid` (`id`),
  UNIQUE KEY `state` (`parentsourcekey`,`id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
